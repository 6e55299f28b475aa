#include "app/AboutDlg.h"

#include "app/BytemenderDlg.h"
#include "winutil/DlgUtil.h"

#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    // Title bar with its menu and close box only, as a modal frame has.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setWindowTitle(QStringLiteral("关于 Bytemender"));
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

    auto* version = new QLabel(QStringLiteral("Bytemender 1.0 版"), this);
    SetControlId(version, IDC_VERSION);
    place(version, 40, 10, 119, 8);

    auto* line2 = new QLabel(QStringLiteral("按修补列表改写文件中的字节"), this);
    SetControlId(line2, IDC_LINE2);
    place(line2, 40, 25, 119, 8);

    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    SetControlId(ok, IDOK_);
    place(ok, 178, 7, 50, 16);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, [this] { done(IDOK_); });

    const QRect client = DialogUnitsToPixels(font, 0, 0, 235, 55);
    setFixedSize(client.size());
    ok->setFocus();
}
