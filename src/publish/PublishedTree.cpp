#include "publish/PublishedTree.h"

namespace PublishedTree {

const QStringList& webFiles() {
    static const QStringList files = {
        QStringLiteral("store/basket.php"),       QStringLiteral("store/collectOrders.php"),
        QStringLiteral("store/confirmOrder.php"), QStringLiteral("store/departments.php"),
        QStringLiteral("store/displayStore.php"), QStringLiteral("store/kioskSmith.css"),
        QStringLiteral("store/getdetails.php"),   QStringLiteral("store/index.php"),
        QStringLiteral("store/store.php"),        QStringLiteral("store/sendMailOrder.php"),
        QStringLiteral("store/storebanner.php"),  QStringLiteral("store/variables.php"),
    };
    return files;
}

const QStringList& graphicsFiles() {
    static const QStringList files = {
        QStringLiteral("store/gfx/add.bmp"),
        QStringLiteral("store/gfx/add-order.jpg"),
        QStringLiteral("store/gfx/cancel.bmp"),
        QStringLiteral("store/gfx/first.gif"),
        QStringLiteral("store/gfx/last.gif"),
        QStringLiteral("store/gfx/next.gif"),
        QStringLiteral("store/gfx/nofirst.gif"),
        QStringLiteral("store/gfx/nolast.gif"),
        QStringLiteral("store/gfx/nonext.gif"),
        QStringLiteral("store/gfx/noprevious.gif"),
        QStringLiteral("store/gfx/previous.gif"),
        QStringLiteral("store/gfx/proceed.bmp"),
        QStringLiteral("store/gfx/shopping-cart-icon-medium.jpg"),
        QStringLiteral("store/gfx/shopping-trolley.jpg"),
        QStringLiteral("store/gfx/sky.jpg"),
        QStringLiteral("store/gfx/store-line-seperator.jpg"),
        QStringLiteral("store/gfx/cancel.jpg"),
    };
    return files;
}

const QStringList& storeFiles() {
    static const QStringList files = {
        QStringLiteral("store/storesettings.txt"),
        QStringLiteral("store/gfx/no_image_available.jpg"),
    };
    return files;
}

QString settingsFile() {
    return QStringLiteral("store/storesettings.txt");
}

QString productDetailsFile() {
    return QStringLiteral("store/productdetails.nif");
}

QString departmentListFile() {
    return QStringLiteral("store/departments.nif");
}

QString soundFile() {
    return QStringLiteral("RHYTHM.wav");
}

QByteArray rootPath(const QString& destinationFolder) {
    return '/' + destinationFolder.toUtf8() + QByteArrayLiteral("/kioskSmith");
}

QString printableName(const QString& name) {
    QString out = name;
    for (QChar& c : out) {
        if (c.category() == QChar::Other_Control)
            c = QLatin1Char('?');
    }
    return out;
}

} // namespace PublishedTree
