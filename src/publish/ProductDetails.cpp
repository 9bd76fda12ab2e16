#include "publish/ProductDetails.h"

#include "catalogue/LineFile.h"
#include "catalogue/Windows1252.h"

#include <QDir>
#include <QFile>

namespace {

constexpr QChar kSeparator = QChar(0x00AC);

// The fields of a line after the slot, in file order; the picture path is not published.
constexpr int kPublishedFields = 8;

QString fieldForLine(const QString& value) {
    QString out = LineFile::oneLine(value);
    out.replace(kSeparator, QLatin1Char(' '));
    return out;
}

} // namespace

namespace ProductDetails {

QString path(const QString& dataFolder) {
    return LineFile::dataPath(dataFolder, QStringLiteral("store/productdetails.nif"));
}

QString line(int slot, const ProductRecord& product) {
    QString out = QString::number(slot) + kSeparator;
    for (int f = 0; f < kPublishedFields; ++f)
        out += fieldForLine(product.field(f)) + kSeparator;
    return out;
}

namespace {

Status productDetailsBytes(const StoreCatalogue& catalogue, int d, const QString& file, QByteArray& bytes) {
    for (int p = 0; p < catalogue.maxProductsPerDepartment; ++p) {
        const ProductRecord product = catalogue.product(d, p);
        if (product.title.isEmpty())
            break;
        const QString text = line(p, product);
        const auto encoded = Windows1252::encode(text);
        if (!encoded) {
            const QString bad = Windows1252::characterAt(text, Windows1252::firstUnencodable(text));
            return Status::failure(QDir::toNativeSeparators(file),
                                   QStringLiteral("the product \"%1\" holds the character \"%2\", which this file "
                                                  "cannot store")
                                       .arg(product.title, bad));
        }
        bytes += *encoded;
        bytes += "\r\n";
    }
    return Status::success();
}

} // namespace

Status writeProductDetails(const StoreCatalogue& catalogue, int d, const QString& dataFolder) {
    const QString file = path(dataFolder);
    QByteArray bytes;
    const Status made = productDetailsBytes(catalogue, d, file, bytes);
    return made ? LineFile::replaceFile(file, bytes) : made;
}

Status writeScratchProductDetails(const StoreCatalogue& catalogue, int d, const QString& file) {
    QByteArray bytes;
    const Status made = productDetailsBytes(catalogue, d, file, bytes);
    if (!made)
        return made;
    QFile out(file);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(bytes) != bytes.size() || !out.flush())
        return Status::failure(QDir::toNativeSeparators(file), out.errorString());
    return Status::success();
}

QString departmentListPath(const QString& dataFolder) {
    return LineFile::dataPath(dataFolder, QStringLiteral("store/departments.nif"));
}

Status writeDepartmentList(const StoreCatalogue& catalogue, const QString& dataFolder) {
    const QString file = departmentListPath(dataFolder);
    QByteArray bytes;
    for (int d = 0; d < catalogue.maxDepartments && d < StoreCatalogue::fileDepartments; ++d) {
        const QString& name = catalogue.departmentNames[std::size_t(d)];
        if (name.isEmpty())
            continue;
        const auto encoded = Windows1252::encode(name);
        if (!encoded)
            return Status::failure(QDir::toNativeSeparators(file),
                                   QStringLiteral("the department \"%1\" holds the character \"%2\", which this "
                                                  "file cannot store")
                                       .arg(name, Windows1252::characterAt(name, Windows1252::firstUnencodable(name))));
        bytes += *encoded;
        bytes += "\r\n";
    }
    return LineFile::replaceFile(file, bytes);
}

QString pictureName(int slot) {
    return QString::number(slot) + QStringLiteral(".jpeg");
}

} // namespace ProductDetails
