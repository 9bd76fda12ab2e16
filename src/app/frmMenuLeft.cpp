#include "app/frmMenuLeft.h"

#include "ui/Twips.h"

#include <QPushButton>

namespace {

struct CommandButton {
    int index;
    const char* caption;
    const char* toolTip;
    int top;
};

constexpr CommandButton kButtons[] = {
    {0, "Store Structure", "Create and alter your store's department structure", 120},
    {1, "Products", "Add and edit products in your store", 720},
    {2, "Upload to Web", "Commit your current store structure to your Web site", 1320},
    {3, "Store Orders", "View all orders received", 1920},
    {5, "Exit", "Exit kioskSmith", 2520},
};

} // namespace

frmMenuLeft::frmMenuLeft(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmMenuLeft"));
    setWindowTitle(QStringLiteral("kioskSmith"));
    setFixedSize(Twips::toPixels(this, 2250), Twips::toPixels(this, 3090));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(128, 255, 128));
    setPalette(p);

    for (const CommandButton& b : kButtons) {
        auto* button = new QPushButton(QString::fromUtf8(b.caption), this);
        button->setObjectName(QStringLiteral("Command1_%1").arg(b.index));
        button->setToolTip(QString::fromUtf8(b.toolTip));
        button->setGeometry(Twips::toPixels(this, 120), Twips::toPixels(this, b.top), Twips::toPixels(this, 1935),
                            Twips::toPixels(this, 375));
        const int index = b.index;
        connect(button, &QPushButton::clicked, this, [this, index] { emit commandClicked(index); });
    }
}

QPushButton* frmMenuLeft::command(int index) const {
    return findChild<QPushButton*>(QStringLiteral("Command1_%1").arg(index), Qt::FindDirectChildrenOnly);
}
