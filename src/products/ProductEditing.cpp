#include "products/ProductEditing.h"

#include "products/ProductRules.h"

#include <QFile>
#include <QFileInfo>

namespace ProductEditing {

std::optional<QString> missingDetails(const ProductRecord& typed) {
    if (typed.title.isEmpty() || typed.price.isEmpty())
        return QStringLiteral("Product must have a Title and a Price before submitting");
    return std::nullopt;
}

std::optional<QString> refusedContent(const ProductRecord& typed) {
    for (int f = 0; f < ProductRecord::fieldCount; ++f) {
        const QString& value = typed.field(f);
        const qsizetype at = ProductRules::firstRefused(value);
        if (at >= 0)
            return fieldLabel(f) + QStringLiteral(": ") + ProductRules::refusalReason(value, at);
    }
    return std::nullopt;
}

int recordingSlot(bool editMode, int selectedRow, int entries) {
    const int slot = editMode ? selectedRow : entries;
    return slot < 0 ? 0 : slot;
}

void record(StoreCatalogue& catalogue, int d, int p, const ProductRecord& typed, bool newProduct) {
    for (int f = 0; f < 8; ++f)
        catalogue.productTable(d, p, f) = ProductRules::storedValue(typed.field(f));
    if (!typed.image.isEmpty())
        catalogue.productTable(d, p, 8) = ProductRules::storedValue(typed.image);
    if (newProduct)
        ++catalogue.productCount;
}

void remove(StoreCatalogue& catalogue, int d, int p, int entries) {
    const int last = std::min(entries, StoreCatalogue::tableProducts - 2);
    for (int i = p; i <= last; ++i) {
        for (int f = 0; f < ProductRecord::fieldCount; ++f)
            catalogue.productTable(d, i, f) = catalogue.productTable(d, i + 1, f);
    }
    --catalogue.productCount;
}

QString fieldLabel(int f) {
    switch (f) {
    case 0:
        return QStringLiteral("Title");
    case 1:
    case 2:
    case 3:
        return QStringLiteral("Description %1").arg(f);
    case 4:
        return QStringLiteral("Price");
    case 5:
        return QStringLiteral("Unit");
    case 6:
    case 7:
        return QStringLiteral("Pricing (sub) %1").arg(f - 5);
    case 8:
        return QStringLiteral("Image Filepath");
    default:
        return QString();
    }
}

} // namespace ProductEditing

namespace ProductCheck {

PictureState pictureState(const QString& path) {
    if (path.isEmpty())
        return PictureState::None;
    const QFileInfo info(path);
    if (!info.exists())
        return PictureState::Missing;
    QFile file(path);
    if (!info.isFile() || !file.open(QIODevice::ReadOnly))
        return PictureState::NotAPicture;
    const QByteArray head = file.read(8);
    const bool picture = head.startsWith("\xFF\xD8\xFF") || head.startsWith("\x89PNG\r\n\x1A\n") ||
                         head.startsWith("GIF87a") || head.startsWith("GIF89a") ||
                         (head.startsWith("BM") && info.size() > 26);
    return picture ? PictureState::Picture : PictureState::NotAPicture;
}

QList<Problem> problems(const StoreCatalogue& catalogue, const QString& currencySymbol) {
    QList<Problem> found;
    for (int d = 0; d < catalogue.maxDepartments && d < StoreCatalogue::fileDepartments; ++d) {
        const QString& department = catalogue.departmentNames[static_cast<std::size_t>(d)];
        if (department.isEmpty())
            continue;
        const int count = catalogue.productsIn(d);
        // The upload sends pictures up to the first product without one.
        int lastWithPicture = -1;
        for (int p = 0; p < count; ++p) {
            if (!catalogue.productTable(d, p, 8).isEmpty())
                lastWithPicture = p;
        }
        for (int p = 0; p < count; ++p) {
            const QString where = QStringLiteral("Department \"%1\", product %2 \"%3\": ")
                                      .arg(department)
                                      .arg(p)
                                      .arg(catalogue.productTable(d, p, 0));
            const auto add = [&](Problem::Kind kind, const QString& what) {
                found.append(Problem{d, p, kind, where + what});
            };
            const QString& price = catalogue.productTable(d, p, 4);
            if (price.trimmed().isEmpty())
                add(Problem::NoPrice, QStringLiteral("no price"));
            else if (!ProductRules::isShopPrice(price, currencySymbol))
                add(Problem::BadPrice,
                    QStringLiteral("the price \"%1\" is not an amount the shop can read, so it cannot be bought")
                        .arg(price));
            const QString& image = catalogue.productTable(d, p, 8);
            switch (pictureState(image)) {
            case PictureState::None:
                if (p < lastWithPicture)
                    add(Problem::NoPicture,
                        QStringLiteral("no picture, so the pictures of the products after it are not sent"));
                break;
            case PictureState::Missing:
                add(Problem::PictureMissing, QStringLiteral("the picture %1 is missing").arg(image));
                break;
            case PictureState::NotAPicture:
                add(Problem::NotAPicture, QStringLiteral("%1 cannot be read as a picture").arg(image));
                break;
            case PictureState::Picture:
                break;
            }
        }
    }
    return found;
}

} // namespace ProductCheck
