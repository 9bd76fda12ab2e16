#pragma once

#include "catalogue/StoreCatalogue.h"

#include <QList>
#include <QString>

#include <optional>

// The product editor's changes to the shared catalogue, without any window.
namespace ProductEditing {

// The message that stops a recording when the title or the price is the empty text (blanks
// count as content), or nothing.
std::optional<QString> missingDetails(const ProductRecord& typed);

// The message that stops a recording when a field holds a character no product may hold,
// naming the field, or nothing.
std::optional<QString> refusedContent(const ProductRecord& typed);

// The product slot the record button writes: the selected entry in edit mode, otherwise the
// first free slot after the `entries` listed; no selection (-1) means slot 0.
int recordingSlot(bool editMode, int selectedRow, int entries);

// Stores the typed product into product slot p of department row d: fields 0 to 7 always, the
// image only when one is given (an empty path keeps the old one). Line breaks become blanks.
// A new product adds one to productCount.
void record(StoreCatalogue& catalogue, int d, int p, const ProductRecord& typed, bool newProduct);

// Deletes product slot p of department row d, which lists `entries` products: the later ones
// move down one slot, keeping their order, and productCount loses one.
void remove(StoreCatalogue& catalogue, int d, int p, int entries);

// The label the editor shows beside field f, for messages.
QString fieldLabel(int f);

} // namespace ProductEditing

// What would break a product in the published shop, for a check before publishing.
namespace ProductCheck {

enum class PictureState {
    None,        // no path given
    Missing,     // no file at the path
    NotAPicture, // a file that cannot be read, or not a JPEG, PNG, GIF or BMP picture
    Picture,
};

// Looks at the file's first bytes; does not decode the whole picture.
PictureState pictureState(const QString& path);

struct Problem {
    enum Kind {
        NoPrice,        // the price is empty or only blanks
        BadPrice,       // a price the shop's pages cannot read, so the product cannot be bought
        NoPicture,      // no picture while a later product of the department has one: the
                        // upload stops sending pictures at the first product without one
        PictureMissing, // the picture file is not there
        NotAPicture,    // the file cannot be read as a picture
    };
    int department = 0;
    int product = 0;
    Kind kind = NoPrice;
    QString text; // one line for the owner: department, product and what is wrong
};

// Every problem of every product, in department and product slot order; prices are read as the
// pages read them, with the shop's currency symbol.
QList<Problem> problems(const StoreCatalogue& catalogue, const QString& currencySymbol);

} // namespace ProductCheck
