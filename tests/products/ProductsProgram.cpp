#include "ProductsProgram.h"

#include "app/ConnectionCheck.h"
#include "products/frmProducts.h"
#include "support/TestSupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QGroupBox>
#include <QListWidget>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

ProductsProgram::ProductsProgram(const QStringList& departments, const QString& existing)
    : folder(existing.isEmpty() ? dir.path() : existing) {
    if (existing.isEmpty()) {
        QDir(folder).mkdir(QStringLiteral("store"));
        TestSupport::copyFixture(QStringLiteral("FtpSettingsFull.txt"), folder, QStringLiteral("ftpsettings.txt"));
        QByteArray names;
        for (const QString& name : departments)
            names += name.toLatin1() + "\r\n";
        for (qsizetype i = departments.size(); i < 30 && !departments.isEmpty(); ++i)
            names += "\r\n"; // a whole file: a short one is reported at start-up
        TestSupport::writeBytes(QDir(folder).filePath(QStringLiteral("departments.txt")), names);
    }
    main = TestSupport::startProgram(state, folder);
}

ProductsProgram::~ProductsProgram() {
    main->hide();
}

frmProducts* ProductsProgram::openProducts() {
    main->Command1_Click(1);
    return main->productsWindow();
}

void ProductsProgram::addProducts(int d, int count, const QString& image) {
    for (int p = 0; p < count; ++p) {
        ProductRecord r;
        r.title = QStringLiteral("P%1").arg(p);
        r.description1 = QStringLiteral("d1 of %1").arg(p);
        r.description2 = QStringLiteral("d2 of %1").arg(p);
        r.description3 = QStringLiteral("d3 of %1").arg(p);
        r.price = QStringLiteral("%1.00").arg(p);
        r.unit = QStringLiteral("each");
        r.pricingDetail1 = QStringLiteral("p1 of %1").arg(p);
        r.pricingDetail2 = QStringLiteral("p2 of %1").arg(p);
        r.image = image;
        state.catalogue.setProduct(d, p, r);
    }
    state.catalogue.productCount += count;
}

struct ModalAnswer::State {
    bool answered = false;
    QString text;
    QTimer timer;
    QDeadlineTimer deadline;
    std::function<void(QWidget*)> act;
};

ModalAnswer::ModalAnswer(std::function<void(QWidget*)> act, int deadlineMs)
    : m_state(std::make_shared<State>()), m_answered(m_state->answered), m_text(m_state->text) {
    m_state->act = std::move(act);
    m_state->deadline = QDeadlineTimer(deadlineMs);
    m_state->timer.setInterval(10);
    State* s = m_state.get();
    QObject::connect(&s->timer, &QTimer::timeout, [s] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) {
            if (s->deadline.hasExpired())
                s->timer.stop();
            return;
        }
        s->timer.stop();
        s->answered = true;
        if (auto* box = qobject_cast<QMessageBox*>(modal))
            s->text = box->text();
        s->act(modal);
        if (modal->isVisible()) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            else
                modal->close();
        }
    });
    m_state->timer.start();
}

ModalAnswer::~ModalAnswer() {
    m_state->timer.stop();
}

void pressButton(QWidget* box, const QString& text) {
    const auto buttons = box->findChildren<QAbstractButton*>();
    for (QAbstractButton* button : buttons) {
        if (button->text().remove(QLatin1Char('&')) == text) {
            button->click();
            return;
        }
    }
    qWarning("no button %s", qPrintable(text));
}

void clickRow(QListWidget* list, int row) {
    list->scrollToItem(list->item(row));
    const QRect rect = list->visualItemRect(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
}

QStringList focusOrder(QWidget* window, const QStringList& names) {
    QStringList order;
    QWidget* start = window->findChild<QWidget*>(names.first());
    QWidget* w = start;
    do {
        if (names.contains(w->objectName()) && !order.contains(w->objectName()))
            order.append(w->objectName());
        w = w->nextInFocusChain();
    } while (w && w != start);
    return order;
}

QStringList misplaced(QWidget* window) {
    QStringList problems;
    QList<QWidget*> parents{window};
    for (QGroupBox* frame : window->findChildren<QGroupBox*>(Qt::FindDirectChildrenOnly))
        parents.append(frame);
    for (QWidget* parent : parents) {
        QList<QWidget*> placed;
        for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (!w->isWindow() && !w->objectName().isEmpty())
                placed.append(w);
        }
        for (qsizetype i = 0; i < placed.size(); ++i) {
            if (!parent->rect().contains(placed[i]->geometry()))
                problems.append(placed[i]->objectName() + QStringLiteral(" reaches out of ") + parent->objectName());
            for (qsizetype j = i + 1; j < placed.size(); ++j) {
                if (placed[i]->geometry().intersects(placed[j]->geometry()))
                    problems.append(placed[i]->objectName() + QStringLiteral(" overlaps ") + placed[j]->objectName());
            }
        }
    }
    return problems;
}
