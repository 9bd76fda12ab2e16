#pragma once

#include <QPlainTextEdit>

// A multi-line text box that stops taking input at a number of characters, a typed line break
// counting as two (CR LF), and keeps out characters no product field may hold.
class LimitedTextBox final : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit LimitedTextBox(int maxLength, QWidget* parent = nullptr);

    int maxLength() const { return m_maxLength; }
    QString text() const { return toPlainText(); }
    // Sets the text as given: values read from the catalogue are shown whatever their length.
    void setText(const QString& text);

signals:
    // A character was kept out; the reason is in the owner's words.
    void refused(const QString& reason);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void inputMethodEvent(QInputMethodEvent* event) override;
    bool canInsertFromMimeData(const QMimeData* source) const override;
    void insertFromMimeData(const QMimeData* source) override;

private:
    // How many more characters fit when the selection is replaced.
    qsizetype room() const;
    // What of `typed` may be inserted: refused characters dropped (reported), cut to the room left.
    QString admissible(const QString& typed);
    void guard();

    int m_maxLength;
    QString m_lastGood;
    bool m_settingText = false;
};
