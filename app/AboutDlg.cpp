#include "app/AboutDlg.h"

#include "app/BytemenderDlg.h"
#include "winutil/DlgUtil.h"
#include "winutil/Translate.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>

#include <algorithm>

namespace {

// A path shown as selectable text: a read-only field without a frame, on the
// box's own background. A path too long for it shows its end (the file or
// folder name) and the whole path as a tooltip; selecting and copying always
// takes the whole path.
QLineEdit* MakePathField(QWidget* parent, const QString& path) {
    auto* field = new QLineEdit(path, parent);
    field->setReadOnly(true);
    field->setFrame(false);
    field->setToolTip(path);
    QPalette palette = field->palette();
    palette.setBrush(QPalette::Base, palette.brush(QPalette::Window));
    field->setPalette(palette);
    return field;
}

} // namespace

CAboutDlg::CAboutDlg(const DataLocations& places, QWidget* parent) : QDialog(parent) {
    // Title bar with its menu and close box only, as a modal frame has.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(tr("关于 Bytemender"));
    setWindowIcon(BytemenderIcon());
    const QFont font = ApplyDialogFont(nullptr);
    setFont(font);
    auto place = [&font](QWidget* control, int x, int y, int w, int h) {
        control->setGeometry(DialogUnitsToPixels(font, x, y, w, h));
    };

    auto* iconLabel = new QLabel(this);
    SetControlId(iconLabel, IDC_ICON);
    place(iconLabel, 11, 17, 20, 20);
    iconLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    iconLabel->setPixmap(BytemenderIcon().pixmap(32, 32));

    auto* version = new QLabel(tr("Bytemender 1.0 版"), this);
    SetControlId(version, IDC_VERSION);
    place(version, 40, 10, 119, 8);

    auto* line2 = new QLabel(tr("按修补列表改写文件中的字节"), this);
    SetControlId(line2, IDC_LINE2);
    place(line2, 40, 25, 119, 8);

    auto* ok = new QPushButton(tr("确定"), this);
    SetControlId(ok, IDOK_);
    place(ok, 178, 7, 50, 16);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(IDOK_); });

    // Where the list and the backups are kept.
    auto* where = new QLabel(places.portable ? tr("列表和备份保存在程序所在的文件夹中 (便携使用)")
                                             : tr("列表和备份保存在用户的文件夹中"),
                             this);
    SetControlId(where, IDC_PLACE);
    place(where, 11, 46, 217, 8);

    const QString settingsFile = NarrowToQString(places.settingsFile);
    const QString backupFolder = NarrowToQString(places.backupFolder);
    struct PathRow {
        const char* caption;
        int id;
        const QString& path;
        int y;
    };
    const PathRow rows[] = {
        {QT_TRANSLATE_NOOP("CAboutDlg", "设置文件:"), IDC_SETTINGS_FILE, settingsFile, 58},
        {QT_TRANSLATE_NOOP("CAboutDlg", "备份文件夹:"), IDC_BACKUP_FOLDER, backupFolder, 71},
    };
    const QRect fieldRect = DialogUnitsToPixels(font, 60, 0, 168, 12);

    // The box grows to show the longer path whole, up to three quarters of
    // the screen's width; the right-hand controls keep their margin.
    const QFontMetrics metrics(font);
    const int margin = 2 * metrics.horizontalAdvance(QLatin1Char(' ')) + 4;
    int needed = 0;
    for (const PathRow& row : rows)
        needed = std::max(needed, metrics.horizontalAdvance(row.path) + margin);
    const QRect client = DialogUnitsToPixels(font, 0, 0, 235, 85);
    const QScreen* screen = parent ? parent->screen() : QGuiApplication::primaryScreen();
    const int widest = screen ? screen->availableGeometry().width() * 3 / 4 : client.width();
    const int grow =
        std::clamp(needed - fieldRect.width(), 0, std::max(0, widest - client.width()));

    for (const PathRow& row : rows) {
        auto* caption = new QLabel(tr(row.caption), this);
        place(caption, 11, row.y + 2, 48, 8);
        QLineEdit* field = MakePathField(this, row.path);
        SetControlId(field, row.id);
        place(field, 60, row.y, 168, 12);
        field->resize(field->width() + grow, field->height());
        if (metrics.horizontalAdvance(row.path) + margin > field->width())
            field->end(false);
        else
            field->home(false);
    }
    ok->move(ok->x() + grow, ok->y());
    where->resize(where->width() + grow, where->height());

    setFixedSize(client.width() + grow, client.height());
    ok->setFocus();
}
