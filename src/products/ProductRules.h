#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>

#include <optional>

// What a product field may hold, and how the editor's typed text becomes a stored value.
// No widgets here: the editor and the command-line check share these rules.
namespace ProductRules {

// The description and pricing-detail boxes take this many characters of typed input.
inline constexpr int detailLengthLimit = 30;

// Separates the fields of the published product file, so no product field may hold it.
inline constexpr QChar fieldSeparator = QChar(0x00AC);

// The length a box counts against its limit: a typed line break counts as two (CR LF),
// whichever of CR LF, CR or LF holds it.
qsizetype typedLength(QStringView text);

// Index of the first character no product field may hold: the field separator, or a character
// the local files cannot store. -1 when there is none. Line breaks are allowed here; they are
// replaced when the product is recorded.
qsizetype firstRefused(QStringView text);

// The text without the characters firstRefused finds.
QString withoutRefused(QStringView text);

// Why the character at `index` of `text` cannot be taken, in the owner's words.
QString refusalReason(QStringView text, qsizetype index);

// The stored form of a typed value: each line break (CR LF counts as one) becomes one blank,
// so that no value can shift the values after it in the catalogue file.
QString storedValue(const QString& typed);

// The price in the locale's standard number format (digit grouping, two decimals) when the
// text reads as a number in that locale; nothing when it does not.
std::optional<QString> normalisedPrice(const QString& text, const QLocale& locale);

// Whether the shop's pages read the stored price as an amount and so offer the product for sale:
// parsePrice() of store/variables.php applied to the field as the pages receive it, mirrored
// step by step (a test runs both on the same texts). `currencySymbol` is the shop's, which may
// stand before or after the amount.
bool isShopPrice(const QString& price, const QString& currencySymbol);

// The note shown under the price box for a price the shop cannot sell; empty for one it can
// and for an empty price.
QString priceNote(const QString& price, const QString& currencySymbol);

} // namespace ProductRules
