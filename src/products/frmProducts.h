#pragma once

#include "ui/TaskWindow.h"

#include <functional>

class LimitedTextBox;
class PictureBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class frmPhotoChooser;
struct ProductRecord;

// The product editor: the owner picks a department, picks a product to edit or starts a new
// one, and records it into the shared catalogue. Nothing is written to disk here.
class frmProducts final : public TaskWindow {
    Q_OBJECT
public:
    frmProducts(SharedState& state, Shell& shell, QWidget* parent = nullptr);

    // The picture chooser lives with the main window, which creates it on first use.
    void setPhotoChooser(std::function<frmPhotoChooser*()> chooser) { m_photoChooser = std::move(chooser); }

    void Form_Activate() override;

    // True while the detail fields hold a product of the list and the record button overwrites it.
    bool editMode() const { return m_editing >= 0; }
    // The product slot the record button overwrites, or -1 for a new product. Kept apart from the
    // list's selection, which a click on the empty part of the list clears.
    int editedProduct() const { return m_editing; }

    // Event handlers, also driven by tests.
    void lstDepartments_Click();
    void lstProducts_Click();
    void lstProducts_DblClick();
    void cmdAddMain_Click();
    void cmdClearSelection_Click();
    void cmdAddImage_Click();
    void cdmDone_Click();
    void txtPrice_LostFocus();
    void txtTitle_GotFocus();

    void populateMainDepartments();
    void populateProducts();
    void disableProductFields();
    void enableProductFields();
    void clearProductFields();
    void updateAddButton();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildControls();
    void arrangeTabOrder();
    frmPhotoChooser* photoChooser();
    // The fields as typed, in catalogue field order.
    ProductRecord typedProduct() const;
    void showProduct(const ProductRecord& product);
    QList<QWidget*> detailFields() const;
    // Removes characters no product may hold from a one-line box just edited, and says why.
    void keepOut(QLineEdit* box);
    void showMessage(const QString& text);
    // Sets the product being edited (-1: a new one) and says so beside "Add Entry".
    void setEditing(int slot);
    void showPriceNote();
    static int selectedRow(const QListWidget* list);

    std::function<frmPhotoChooser*()> m_photoChooser;
    int m_editing = -1;
    // The department whose products are listed; an empty click on the department list, which
    // clears its selection, leaves it (and whatever was typed) in place.
    int m_department = -1;
    bool m_titleMessagePending = false;

    QGroupBox* m_fraDepartment = nullptr;
    QGroupBox* m_fraProducts = nullptr;
    QGroupBox* m_fraDetails = nullptr;
    QListWidget* m_lstDepartments = nullptr;
    QListWidget* m_lstProducts = nullptr;
    QLineEdit* m_txtTitle = nullptr;
    LimitedTextBox* m_txtDescription1 = nullptr;
    LimitedTextBox* m_txtDescription2 = nullptr;
    LimitedTextBox* m_txtDescription3 = nullptr;
    QLineEdit* m_txtPrice = nullptr;
    QLineEdit* m_txtUnit = nullptr;
    LimitedTextBox* m_txtPricingDetail1 = nullptr;
    LimitedTextBox* m_txtPricingDetail2 = nullptr;
    QLineEdit* m_txtImage = nullptr;
    PictureBox* m_imgPhoto = nullptr;
    QPushButton* m_cmdAddImage = nullptr;
    QPushButton* m_cmdClearSelection = nullptr;
    QPushButton* m_cmdAddMain = nullptr;
    QPushButton* m_cdmDone = nullptr;
    QLabel* m_lblEntryMode = nullptr;
    QLabel* m_lblPriceNote = nullptr;
};
