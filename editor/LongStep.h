// Long steps of the windows (the rebuild of a large target, a backup copy, an
// import, an export, a comparison of two files, a search of a large backup)
// run on a thread of their own, so that the window stays painted and can be
// moved, with a progress dialog and its "取消" button.
//
// Rules:
// - RunLongStep returns only once the step has returned and its thread has
//   ended: whatever the step touched (the list, the session) is the caller's
//   again, and messages about the outcome are shown after it, on the
//   window's thread.
// - While the step runs, the owner's window takes no input (no other command
//   can start and nothing reads what the step may change) and a close of it
//   cancels the step instead; painting, moving and resizing go on. Windows
//   the step opens through OnWindowThread (a question) take input as usual.
// - The progress dialog shows only when the step lasts longer than
//   kLongStepShowAfter; a shorter step shows nothing. Its "取消" button (also
//   Escape and its close box) cancels the step's Progress (engine/Progress.h);
//   the step stops where it may, leaving every file as it was, or finishes.
// - The step must not talk to the user itself: a question goes through
//   OnWindowThread, which waits for the answer.
#pragma once

#include <QMetaObject>
#include <QObject>
#include <QString>
#include <QThread>

#include <chrono>
#include <functional>
#include <utility>

class Progress;
class QWidget;

inline constexpr std::chrono::milliseconds kLongStepShowAfter{400};

// Runs step on a thread of its own with a Progress installed there
// (ProgressScope) and waits for it as described above; text says what the
// step does. False when the user cancelled the step (whether or not it had
// finished by then: the step's outcome tells).
bool RunLongStep(QWidget* owner, const QString& text, const std::function<void()>& step);

// True while a long step of owner's window runs.
bool LongStepRunning(const QWidget* owner);

// Each step's Progress as the step starts, on the window's thread: tests
// cancel steps here. An empty function (the default) watches nothing.
void SetLongStepObserver(std::function<void(Progress&)> observer);

// Runs ask on context's thread and gives back its answer: directly when
// called there, else queued to that thread, waiting for it (a step asking
// the user while its window waits for it).
template <typename Ask> auto OnWindowThread(QObject* context, Ask&& ask) -> decltype(ask()) {
    if (QThread::currentThread() == context->thread())
        return ask();
    decltype(ask()) answer{};
    QMetaObject::invokeMethod(
        context, [&] { answer = ask(); }, Qt::BlockingQueuedConnection);
    return answer;
}
