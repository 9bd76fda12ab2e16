#pragma once

#include <QDialog>
#include <QHash>

class PictureBox;
class QComboBox;
class QListWidget;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;
struct SharedState;

// The picture chooser: a modal dialog that browses the disks for a product picture. It is made
// once and then only hidden and shown, so the folder last browsed is current again next time.
class frmPhotoChooser final : public QDialog {
    Q_OBJECT
public:
    explicit frmPhotoChooser(SharedState& state, QWidget* parent = nullptr);

    // The folder whose files are listed.
    const QString& folder() const { return m_folder; }
    // Opens a folder, as the owner does in the folder list. False (nothing changes) when it
    // cannot be listed.
    bool setFolder(const QString& path);
    // The full path of the file selected in the file list, or empty.
    QString selectedPath() const;
    // The picture handed back by the last OK.
    const QString& chosenPath() const { return m_chosen; }

    // The file-type choices: the name patterns of each, "*.jpeg" first.
    static QList<QStringList> fileTypePatterns();

    void drvDialog_Change();
    void dirDialog_Change(const QString& path);
    void fillDialog_Click();
    void fillDialog_DblClick();
    void cmdOK_Click();
    void cmdCancel_Click();

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Form_Load();
    void Form_Activate();
    void fillDrives();
    void showFolderTree();
    void fillFiles();
    // The drive list entry that holds a path: the longest root it starts with.
    int driveOf(const QString& path) const;

    SharedState& m_state;
    bool m_loaded = false;
    QString m_folder;
    QString m_chosen;
    // The folder last browsed on each drive, by the drive's root.
    QHash<QString, QString> m_driveFolders;

    QTreeWidget* m_dirDialog = nullptr;
    QComboBox* m_drvDialog = nullptr;
    QListWidget* m_fillDialog = nullptr;
    QComboBox* m_cmbFileType = nullptr;
    PictureBox* m_imgPhoto = nullptr;
    QPushButton* m_cmdOK = nullptr;
    QPushButton* m_cmdCancel = nullptr;
};
