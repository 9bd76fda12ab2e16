#include "app/frmSplash.h"

#include "ui/Twips.h"

#include <QFrame>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTimer>
#include <QVBoxLayout>

frmSplash::frmSplash(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmSplash"));
    setFixedSize(Twips::toPixels(this, 7200), Twips::toPixels(this, 4200));

    auto* frame = new QFrame(this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setFrameShape(QFrame::Box);
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(8, 8, 8, 8);
    outer->addWidget(frame);
    auto* layout = new QVBoxLayout(frame);

    auto* maker = new QLabel(QStringLiteral("Quillfern"), frame);
    maker->setObjectName(QStringLiteral("lblMaker"));
    QFont makerFont(QStringLiteral("Sans Serif"));
    makerFont.setStyleHint(QFont::SansSerif);
    makerFont.setPointSizeF(48);
    maker->setFont(makerFont);
    maker->setStyleSheet(QStringLiteral("color: grey;"));
    maker->setAlignment(Qt::AlignCenter);

    auto* product = new QLabel(QStringLiteral("kioskSmith - Web Store Creator"), frame);
    product->setObjectName(QStringLiteral("lblProduct"));
    QFont productFont(QStringLiteral("Serif"));
    productFont.setStyleHint(QFont::Serif);
    productFont.setPointSizeF(15.75);
    product->setFont(productFont);
    product->setAlignment(Qt::AlignCenter);

    auto* help = new QLabel(frame);
    help->setObjectName(QStringLiteral("txtHelp"));
    help->setText(QStringLiteral("For help please see\r\nthe owner's guide: choose Help > Help\r\nor press F1\r\n"));
    help->setAlignment(Qt::AlignCenter);

    auto* contact = new QLabel(QStringLiteral("Questions or ideas? Write to help@kiosksmith.example.com"), frame);
    contact->setObjectName(QStringLiteral("lblContact"));
    contact->setStyleSheet(QStringLiteral("color: blue;"));
    contact->setAlignment(Qt::AlignCenter);

    layout->addWidget(maker);
    layout->addWidget(product);
    layout->addWidget(help);
    layout->addWidget(contact);

    // Precise: a coarse timer may fire up to 5% early.
    QTimer::singleShot(lifetimeMs, Qt::PreciseTimer, this, &frmSplash::expired);
}
