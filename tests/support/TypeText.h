// Typing into a line edit as a user does: ASCII arrives as key strokes, any
// other text committed by an input method (as Chinese text does).
#pragma once

#include <QApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QTest>
#include <gtest/gtest.h>

// Replaces the box's text by typing.
inline void TypeInto(QLineEdit* box, const QString& text) {
    ASSERT_NE(box, nullptr);
    box->setFocus();
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    qsizetype i = 0;
    while (i < text.size()) {
        const bool ascii = text[i].unicode() < 0x80;
        qsizetype j = i;
        while (j < text.size() && (text[j].unicode() < 0x80) == ascii)
            ++j;
        if (ascii) {
            QTest::keyClicks(box, text.mid(i, j - i));
        } else {
            QInputMethodEvent commit;
            commit.setCommitString(text.mid(i, j - i));
            QApplication::sendEvent(box, &commit);
        }
        i = j;
    }
}
