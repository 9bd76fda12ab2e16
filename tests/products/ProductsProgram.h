#pragma once

#include "app/frmMain.h"
#include "catalogue/SharedState.h"

#include <QTemporaryDir>

#include <functional>
#include <memory>

class QListWidget;
class frmProducts;

// The whole program on a data folder of its own, started as the owner starts it, not connected.
struct ProductsProgram {
    QTemporaryDir dir;
    QString folder;
    SharedState state;
    std::unique_ptr<frmMain> main;

    // `departments` names go into the catalogue before the program starts. With `folder`, the
    // program starts on that data folder as it was left instead.
    explicit ProductsProgram(const QStringList& departments = {}, const QString& folder = QString());
    ~ProductsProgram();

    // Opens the product editor as the left-hand "Products" button does.
    frmProducts* openProducts();
    // Fills department row d with `count` products "P0", "P1", ...
    void addProducts(int d, int count, const QString& image = QString());

    template <class T> T* control(const char* name) const;
};

// Runs `act` on the next modal window (a message box, the picture chooser) once it is up, and
// closes it if `act` leaves it open. False when none came up within the deadline.
class ModalAnswer {
public:
    explicit ModalAnswer(std::function<void(QWidget*)> act, int deadlineMs = 5000);
    ~ModalAnswer();
    bool answered() const { return m_answered; }
    // The text of the message box answered, if it was one.
    const QString& text() const { return m_text; }

private:
    struct State;
    std::shared_ptr<State> m_state;
    bool& m_answered;
    QString& m_text;
};

// Clicks the button with this text on a message box.
void pressButton(QWidget* box, const QString& text);
// Selects the row of a list as a mouse click does.
void clickRow(QListWidget* list, int row);
// The controls named, in the order the focus chain visits them from the first of them.
QStringList focusOrder(QWidget* window, const QStringList& names);
// The named controls of a window and of its frames that reach out of their parent or lie over a
// neighbour, one line each.
QStringList misplaced(QWidget* window);

template <class T> T* ProductsProgram::control(const char* name) const {
    return main->findChild<T*>(QString::fromLatin1(name));
}
