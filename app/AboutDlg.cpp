#include "AboutDlg.h"

#include <QLabel>
#include <QPushButton>

#include "DialogUnits.h"
#include "Icons.h"

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("About Cladorama"));
    setModal(true);
    const DialogUnits du(font());
    setFixedSize(du.X(235), du.Y(70));

    auto* icon = new QLabel(this);
    icon->setPixmap(AppIconPixmap(32));
    icon->move(du.X(11), du.Y(17));
    icon->resize(32, 32);

    auto* version = new QLabel(QStringLiteral("Cladorama Version 1.0"), this);
    version->move(du.X(40), du.Y(17));
    auto* credit = new QLabel(QStringLiteral("Compares two taxonomic classifications."), this);
    credit->move(du.X(38), du.Y(31));

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setGeometry(du.Rect(178, 7, 50, 14));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}
