// The thread of a long step, the input its window holds back meanwhile, and
// the progress dialog that shows when the step takes a while.
#include "editor/LongStep.h"

#include "engine/Progress.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QEvent>
#include <QEventLoop>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSet>
#include <QTimer>
#include <QVBoxLayout>

#include <memory>

namespace {

QString Tr(const char* source) {
    return QCoreApplication::translate("LongStep", source);
}

std::function<void(Progress&)>& Observer() {
    static std::function<void(Progress&)> observer;
    return observer;
}

// The windows whose step runs now.
QSet<const QWidget*>& RunningWindows() {
    static QSet<const QWidget*> windows;
    return windows;
}

// How often the dialog looks at the step's counters.
constexpr int kUpdateMs = 100;

// The text, a bar (moving to and fro while the amount is not known) and
// "取消", which turns into "正在取消..." once pressed.
class ProgressDlg : public QDialog {
  public:
    ProgressDlg(QWidget* owner, const QString& text, Progress& progress)
        : QDialog(owner), progress_(progress) {
        setWindowTitle(owner->window()->windowTitle());
        setWindowFlag(Qt::WindowContextHelpButtonHint, false);
        label_ = new QLabel(text, this);
        label_->setMinimumWidth(320);
        bar_ = new QProgressBar(this);
        bar_->setTextVisible(true);
        button_ = new QPushButton(Tr(QT_TRANSLATE_NOOP("LongStep", "取消")), this);
        connect(button_, &QPushButton::clicked, this, [this] { Cancel(); });
        auto* buttons = new QHBoxLayout;
        buttons->addStretch(1);
        buttons->addWidget(button_);
        auto* layout = new QVBoxLayout(this);
        layout->addWidget(label_);
        layout->addWidget(bar_);
        layout->addLayout(buttons);
        Update();
    }

    void Update() {
        const int permille = progress_.Permille();
        if (permille < 0) {
            bar_->setRange(0, 0);
        } else {
            bar_->setRange(0, 1000);
            bar_->setValue(permille);
        }
    }

    void Cancel() {
        progress_.Cancel();
        button_->setEnabled(false);
        label_->setText(Tr(QT_TRANSLATE_NOOP("LongStep", "正在取消...")));
    }

    // Escape and the close box cancel the step; the dialog goes when it ends.
    void reject() override { Cancel(); }

  private:
    Progress& progress_;
    QLabel* label_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QPushButton* button_ = nullptr;
};

// Holds back the input of one window while its step runs: clicks, keys,
// wheel turns and menus go nowhere, and a close cancels the step instead.
class InputHold : public QObject {
  public:
    InputHold(const QWidget* window, Progress& progress) : window_(window), progress_(progress) {
        qApp->installEventFilter(this);
    }
    ~InputHold() override { qApp->removeEventFilter(this); }

    bool eventFilter(QObject* watched, QEvent* event) override {
        const auto* widget = qobject_cast<const QWidget*>(watched);
        if (!widget || widget->window() != window_)
            return false;
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Drop:
            return true;
        case QEvent::Close:
            progress_.Cancel();
            event->ignore();
            return true;
        default:
            return false;
        }
    }

  private:
    const QWidget* window_;
    Progress& progress_;
};

} // namespace

bool RunLongStep(QWidget* owner, const QString& text, const std::function<void()>& step) {
    Progress progress;
    const QWidget* window = owner->window();
    RunningWindows().insert(window);
    InputHold hold(window, progress);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    if (Observer())
        Observer()(progress);

    QEventLoop loop;
    const std::unique_ptr<QThread> thread(QThread::create([&progress, &step] {
        const ProgressScope scope(&progress);
        step();
    }));
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    ProgressDlg dlg(owner, text, progress);
    QTimer showLater;
    showLater.setSingleShot(true);
    QObject::connect(&showLater, &QTimer::timeout, &dlg, [&dlg] { dlg.show(); });
    QTimer update;
    QObject::connect(&update, &QTimer::timeout, &dlg, [&dlg] { dlg.Update(); });
    thread->start();
    showLater.start(kLongStepShowAfter);
    update.start(kUpdateMs);
    if (!thread->isFinished())
        loop.exec();
    thread->wait();
    dlg.hide();

    QApplication::restoreOverrideCursor();
    RunningWindows().remove(window);
    return !progress.Cancelled();
}

bool LongStepRunning(const QWidget* owner) {
    return owner && RunningWindows().contains(owner->window());
}

void SetLongStepObserver(std::function<void(Progress&)> observer) {
    Observer() = std::move(observer);
}
