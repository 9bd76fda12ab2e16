#include "ui/MessageBox.h"

#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>

#include <deque>

namespace {

struct Queue {
    std::deque<MessageBox::Answer> answers;
    std::deque<std::optional<QString>> inputs;
    QStringList shown;
};

Queue& queue() {
    static Queue q;
    return q;
}

} // namespace

MessageBox::Answer MessageBox::show(QWidget* parent, const QString& text, Buttons buttons) {
    queue().shown.append(text);
    if (!queue().answers.empty()) {
        const Answer a = queue().answers.front();
        queue().answers.pop_front();
        return a;
    }

    QMessageBox box(QMessageBox::NoIcon, title(), text, QMessageBox::NoButton, parent);
    box.setObjectName(QStringLiteral("kioskSmithMessage"));
    switch (buttons) {
    case Ok:
        box.setStandardButtons(QMessageBox::Ok);
        break;
    case YesNo:
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case RetryCancel:
        box.setStandardButtons(QMessageBox::Retry | QMessageBox::Cancel);
        box.setDefaultButton(QMessageBox::Retry);
        break;
    case AlwaysThisTimeCancel: {
        QAbstractButton* always = box.addButton(QStringLiteral("Always"), QMessageBox::AcceptRole);
        QAbstractButton* thisTime = box.addButton(QStringLiteral("This time"), QMessageBox::AcceptRole);
        box.addButton(QMessageBox::Cancel);
        // Cancel is the safe answer to a question of trust.
        box.setDefaultButton(QMessageBox::Cancel);
        box.exec();
        if (box.clickedButton() == always)
            return Always;
        if (box.clickedButton() == thisTime)
            return ThisTime;
        return Cancel;
    }
    }
    switch (box.exec()) {
    case QMessageBox::Yes:
        return Yes;
    case QMessageBox::No:
        return No;
    case QMessageBox::Retry:
        return Retry;
    case QMessageBox::Ok:
        return AnswerOk;
    default:
        return buttons == Ok ? AnswerOk : (buttons == YesNo ? No : Cancel);
    }
}

std::optional<QString>
MessageBox::inputBox(QWidget* parent, const QString& prompt, const QString& title, const QString& defaultText) {
    queue().shown.append(prompt);
    if (!queue().inputs.empty()) {
        const auto answer = queue().inputs.front();
        queue().inputs.pop_front();
        return answer;
    }
    QInputDialog dialog(parent);
    dialog.setObjectName(QStringLiteral("kioskSmithInput"));
    dialog.setWindowTitle(title);
    dialog.setLabelText(prompt);
    dialog.setTextValue(defaultText);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.textValue();
}

void MessageBox::setNextAnswer(Answer answer) {
    queue().answers.push_back(answer);
}
void MessageBox::setNextInput(const std::optional<QString>& text) {
    queue().inputs.push_back(text);
}
const QStringList& MessageBox::shownTexts() {
    return queue().shown;
}
int MessageBox::pendingAnswers() {
    return int(queue().answers.size() + queue().inputs.size());
}

void MessageBox::reset() {
    queue().answers.clear();
    queue().inputs.clear();
    queue().shown.clear();
}
