#pragma once

#include "ui/TaskWindow.h"

class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QToolButton;

// The store structure editor: the shop's details and options, and the department list.
// Created hidden at start-up and then only hidden and shown again, so its boxes keep what was
// typed until Done.
class frmStructure final : public TaskWindow {
    Q_OBJECT
public:
    frmStructure(SharedState& state, Shell& shell, QWidget* parent = nullptr);

    // Refills the department list from the catalogue's department names.
    void populateDepartmentList(int firstSlot);

    // Copies the store settings into the boxes; runs once, when the window is created.
    void Form_Load();
    // Refreshes the summary and the Add button; runs on every activation.
    void Form_Activate() override;

    void cmdAddMain_Click();
    void lstDepartments_DblClick();
    void imgMDUp_Click();
    void imgMDDown_Click();
    // Exchange the selected department with the one above (`up`) or below, names and product
    // rows; they read the selected position from the list.
    void swapDepartmentNames(bool up);
    void swapDepartmentProducts(bool up);

    void txtStoreName_KeyUp();
    void txtEmail_KeyUp();
    void txtTelephone_KeyUp();
    void txtFTP_LostFocus();
    // Stores the boxes in the store settings and writes them; hides the window once written.
    void cdmDone_Click();

    // The number of characters each counted box is measured against.
    static constexpr int countedLength = 30;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildSummary();
    void buildDepartments();
    void buildStoreDetails();
    // Keeps line breaks and characters the settings file cannot store out of a box.
    void guardEntry(QLineEdit* box);
    void showEntryNote(const QString& text);
    void setAddButtonState();
    void showCount(QLineEdit* box, QLabel* counter);
    int selectedPosition() const;

    QGroupBox* m_frame1 = nullptr;
    QLabel* m_label2 = nullptr;
    QLabel* m_label6 = nullptr;
    QLabel* m_label7 = nullptr;
    QLabel* m_label8 = nullptr;

    QGroupBox* m_fraStructure = nullptr;
    QListWidget* m_lstDepartments = nullptr;
    QLineEdit* m_txtMainDepartment = nullptr;
    QPushButton* m_cmdAddMain = nullptr;
    QToolButton* m_imgMDUp = nullptr;
    QToolButton* m_imgMDDown = nullptr;

    QGroupBox* m_fraStoreName = nullptr;
    QLineEdit* m_txtFTP = nullptr;
    QLineEdit* m_txtStoreName = nullptr;
    QLabel* m_label9 = nullptr;
    QLineEdit* m_txtEmail = nullptr;
    QLabel* m_label12 = nullptr;
    QLineEdit* m_txtTelephone = nullptr;
    QLabel* m_label14 = nullptr;
    QComboBox* m_cmbCurrency = nullptr;
    QLineEdit* m_txtProductsPerPage = nullptr;
    QRadioButton* m_optBanner[2] = {nullptr, nullptr};
    QRadioButton* m_optBasket[2] = {nullptr, nullptr};
    QLabel* m_lblEntryNote = nullptr;
    QPushButton* m_cdmDone = nullptr;
};
