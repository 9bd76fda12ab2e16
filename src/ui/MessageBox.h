#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

// Every message and input box of the program goes through here: title "kioskSmith", no icon,
// the buttons asked for. Tests queue answers in advance and read what was shown.
class MessageBox final {
public:
    enum Buttons { Ok, YesNo, RetryCancel, AlwaysThisTimeCancel };
    enum Answer { AnswerOk, Yes, No, Retry, Cancel, Always, ThisTime };

    static Answer show(QWidget* parent, const QString& text, Buttons buttons = Ok);

    // Asks for a line of text; nothing when the owner cancels.
    static std::optional<QString>
    inputBox(QWidget* parent, const QString& prompt, const QString& title, const QString& defaultText = QString());

    // Test hooks: a queued answer is given instead of showing the next box.
    static void setNextAnswer(Answer answer);
    static void setNextInput(const std::optional<QString>& text);
    // Texts of every message shown (or answered from the queue) since the last reset.
    static const QStringList& shownTexts();
    static int pendingAnswers();
    static void reset();

    static QString title() { return QStringLiteral("kioskSmith"); }
};
