#include "products/LimitedTextBox.h"

#include "products/ProductRules.h"

#include <QKeyEvent>
#include <QMimeData>
#include <QTextCursor>

namespace {

// Line breaks as the box holds them: one '\n' each, whichever form they came in.
QString plainLineBreaks(QString text) {
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    return text;
}

} // namespace

LimitedTextBox::LimitedTextBox(int maxLength, QWidget* parent) : QPlainTextEdit(parent), m_maxLength(maxLength) {
    setTabChangesFocus(true);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    document()->setDocumentMargin(2); // two lines show without scrolling
    // Whatever way text arrives (drag and drop, undo), the box never holds more than it may.
    connect(this, &QPlainTextEdit::textChanged, this, &LimitedTextBox::guard);
}

void LimitedTextBox::setText(const QString& text) {
    m_settingText = true;
    setPlainText(text);
    m_settingText = false;
    m_lastGood = toPlainText();
}

qsizetype LimitedTextBox::room() const {
    const QString selected = plainLineBreaks(textCursor().selectedText());
    return m_maxLength - ProductRules::typedLength(toPlainText()) + ProductRules::typedLength(selected);
}

QString LimitedTextBox::admissible(const QString& typed) {
    QString text = plainLineBreaks(typed);
    const qsizetype bad = ProductRules::firstRefused(text);
    if (bad >= 0) {
        const QString reason = ProductRules::refusalReason(text, bad);
        text = ProductRules::withoutRefused(text);
        emit refused(reason);
    }
    // Cut to the room left, never in the middle of a line break or a surrogate pair.
    const qsizetype left = room();
    qsizetype length = 0;
    qsizetype keep = 0;
    while (keep < text.size()) {
        const qsizetype step = text[keep].isHighSurrogate() && keep + 1 < text.size() ? 2 : 1;
        const qsizetype cost = text[keep] == QLatin1Char('\n') ? 2 : 1;
        if (length + cost > left)
            break;
        length += cost;
        keep += step;
    }
    return text.left(keep);
}

void LimitedTextBox::keyPressEvent(QKeyEvent* event) {
    const bool lineBreak = (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
                           !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    const QString typed = lineBreak ? QStringLiteral("\n") : event->text();
    const bool printable = lineBreak || (!typed.isEmpty() && typed.at(0).isPrint());
    if (!printable || isReadOnly()) {
        QPlainTextEdit::keyPressEvent(event);
        return;
    }
    const QString allowed = admissible(typed);
    if (allowed.size() != plainLineBreaks(typed).size()) {
        event->accept(); // full, or a character kept out: the key does nothing
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

void LimitedTextBox::inputMethodEvent(QInputMethodEvent* event) {
    if (!event->commitString().isEmpty()) {
        const QString allowed = admissible(event->commitString());
        if (allowed != event->commitString()) {
            QInputMethodEvent trimmed(event->preeditString(), event->attributes());
            trimmed.setCommitString(allowed, event->replacementStart(), event->replacementLength());
            QPlainTextEdit::inputMethodEvent(&trimmed);
            return;
        }
    }
    QPlainTextEdit::inputMethodEvent(event);
}

bool LimitedTextBox::canInsertFromMimeData(const QMimeData* source) const {
    return source->hasText();
}

void LimitedTextBox::insertFromMimeData(const QMimeData* source) {
    if (!source->hasText())
        return;
    // A paste takes what fits, as a typed line would.
    const QString allowed = admissible(source->text());
    if (!allowed.isEmpty() || textCursor().hasSelection())
        textCursor().insertText(allowed);
}

void LimitedTextBox::guard() {
    if (m_settingText)
        return;
    const QString now = toPlainText();
    // A value read from the catalogue may be longer than the limit or hold a refused character;
    // the owner may still shorten it, only nothing more may come in.
    const auto refusedIn = [](const QString& text) {
        return text.size() - ProductRules::withoutRefused(text).size();
    };
    const qsizetype length = ProductRules::typedLength(now);
    const bool fits = length <= m_maxLength || length <= ProductRules::typedLength(m_lastGood);
    if (fits && refusedIn(now) <= refusedIn(m_lastGood)) {
        m_lastGood = now;
        return;
    }
    // Something slipped past the key and paste checks: go back to the last good text.
    const int position = std::min<int>(textCursor().position(), int(m_lastGood.size()));
    const QString good = m_lastGood;
    m_settingText = true;
    setPlainText(good);
    m_settingText = false;
    QTextCursor cursor = textCursor();
    cursor.setPosition(position);
    setTextCursor(cursor);
}
