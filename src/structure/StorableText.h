#pragma once

#include <QString>
#include <QStringList>

// Text for a one-line value of a local file: no line breaks, and only characters the file's
// code page can store. Used as the owner types, so that nothing is lost or changed on saving.
namespace StorableText {

struct Result {
    QString text;            // what can be kept
    int cursor = 0;          // the cursor position moved with the text before it
    bool lineBreaks = false; // line breaks were turned into blanks
    QStringList leftOut;     // characters left out, each once, in order
};

// Each line break (CR LF, CR, LF, and the Unicode line and paragraph separators) becomes one
// blank; characters the code page cannot store are left out. `cursor` is a position in `text`.
Result keepStorable(const QString& text, int cursor = 0);

// A short explanation for the owner of what keepStorable changed; empty when nothing changed.
QString explanation(const Result& result);

} // namespace StorableText
