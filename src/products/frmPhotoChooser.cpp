#include "products/frmPhotoChooser.h"

#include "catalogue/SharedState.h"
#include "products/PictureBox.h"
#include "products/ProductRules.h"
#include "ui/MessageBox.h"
#include "ui/Twips.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QListWidget>
#include <QPushButton>
#include <QStorageInfo>
#include <QStyle>
#include <QTimer>
#include <QTreeWidget>

namespace {

constexpr int kPathRole = Qt::UserRole;

QString cleanFolder(const QString& path) {
    return QDir::cleanPath(QDir::fromNativeSeparators(path));
}

} // namespace

frmPhotoChooser::frmPhotoChooser(SharedState& state, QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                  Qt::MSWindowsFixedSizeDialogHint),
      m_state(state) {
    setObjectName(QStringLiteral("frmPhotoChooser"));
    setWindowTitle(QStringLiteral("Photo Chooser"));
    setModal(true);
    setFixedSize(Twips::toPixels(this, 8400), Twips::toPixels(this, 5040));
    QPalette pale = palette();
    pale.setColor(QPalette::Window, QColor(255, 255, 192));
    setPalette(pale);
    setAutoFillBackground(true);

    const auto place = [this](QWidget* control, double left, double top, double width, double height) {
        control->setGeometry(Twips::toPixels(this, left), Twips::toPixels(this, top), Twips::toPixels(this, width),
                             Twips::toPixels(this, height));
    };

    m_dirDialog = new QTreeWidget(this);
    m_dirDialog->setObjectName(QStringLiteral("dirDialog"));
    m_dirDialog->setHeaderHidden(true);
    m_dirDialog->setExpandsOnDoubleClick(false);
    m_dirDialog->setColumnCount(1);
    m_dirDialog->setIndentation(Twips::toPixels(this, 180));
    m_dirDialog->setToolTip(QStringLiteral("Double click a folder to open it"));
    place(m_dirDialog, 120, 120, 2640, 4080);

    m_drvDialog = new QComboBox(this);
    m_drvDialog->setObjectName(QStringLiteral("drvDialog"));
    place(m_drvDialog, 120, 4320, 2640, 360);

    m_fillDialog = new QListWidget(this);
    m_fillDialog->setObjectName(QStringLiteral("fillDialog"));
    m_fillDialog->setSelectionMode(QAbstractItemView::SingleSelection);
    place(m_fillDialog, 2880, 120, 2400, 4080);

    // Most cameras name their pictures ".jpg"; the shop publishes each as "<slot>.jpeg" whatever
    // it is called here.
    m_cmbFileType = new QComboBox(this);
    m_cmbFileType->setObjectName(QStringLiteral("cmbFileType"));
    m_cmbFileType->addItem(QStringLiteral("*.jpeg"));
    m_cmbFileType->addItem(QStringLiteral("*.jpg"));
    m_cmbFileType->addItem(QStringLiteral("All pictures"));
    m_cmbFileType->setItemData(2, QStringLiteral("JPEG, PNG, GIF and BMP pictures"), Qt::ToolTipRole);
    place(m_cmbFileType, 2880, 4320, 2400, 360);

    m_imgPhoto = new PictureBox(this);
    m_imgPhoto->setObjectName(QStringLiteral("imgPhoto"));
    place(m_imgPhoto, 5400, 120, 2880, 1920);

    m_cmdOK = new QPushButton(QStringLiteral("OK"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    place(m_cmdOK, 5400, 2220, 1380, 420);
    m_cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    m_cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    m_cmdCancel->setAutoDefault(false);
    place(m_cmdCancel, 6900, 2220, 1380, 420);

    QWidget::setTabOrder(m_dirDialog, m_fillDialog);
    QWidget::setTabOrder(m_fillDialog, m_cmbFileType);
    QWidget::setTabOrder(m_cmbFileType, m_drvDialog);
    QWidget::setTabOrder(m_drvDialog, m_cmdOK);
    QWidget::setTabOrder(m_cmdOK, m_cmdCancel);

    fillDrives();

    connect(m_drvDialog, &QComboBox::activated, this, [this] { drvDialog_Change(); });
    // A folder opens on a double click or Enter, as a single click only picks it out; the list is
    // rebuilt once the click is over, as it deletes the item clicked.
    connect(m_dirDialog, &QTreeWidget::itemActivated, this, [this](QTreeWidgetItem* item) {
        if (!item)
            return;
        const QString path = item->data(0, kPathRole).toString();
        QTimer::singleShot(0, this, [this, path] { dirDialog_Change(path); });
    });
    connect(m_cmbFileType, &QComboBox::currentIndexChanged, this, [this] { fillFiles(); });
    connect(m_fillDialog, &QListWidget::itemSelectionChanged, this, &frmPhotoChooser::fillDialog_Click);
    connect(m_fillDialog, &QListWidget::itemClicked, this, [this] {
        if (!m_imgPhoto->hasPicture())
            fillDialog_Click(); // the file still selected from the last showing
    });
    connect(m_fillDialog, &QListWidget::itemDoubleClicked, this, &frmPhotoChooser::fillDialog_DblClick);
    connect(m_cmdOK, &QPushButton::clicked, this, &frmPhotoChooser::cmdOK_Click);
    connect(m_cmdCancel, &QPushButton::clicked, this, &frmPhotoChooser::cmdCancel_Click);
}

QList<QStringList> frmPhotoChooser::fileTypePatterns() {
    return {{QStringLiteral("*.jpeg")},
            {QStringLiteral("*.jpg")},
            {QStringLiteral("*.jpeg"), QStringLiteral("*.jpg"), QStringLiteral("*.png"), QStringLiteral("*.gif"),
             QStringLiteral("*.bmp")}};
}

void frmPhotoChooser::showEvent(QShowEvent* event) {
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    Form_Activate();
    QDialog::showEvent(event);
}

void frmPhotoChooser::Form_Load() {
    if (!setFolder(m_state.dataFolder) && !setFolder(QDir::homePath()))
        setFolder(QDir::rootPath());
}

void frmPhotoChooser::Form_Activate() {
    m_imgPhoto->clearPicture();
    m_chosen.clear();
    // Files may have come or gone since the last showing; the selection stays if it is still there.
    fillFiles();
}

void frmPhotoChooser::fillDrives() {
    m_drvDialog->clear();
    QStringList roots;
    const auto volumes = QStorageInfo::mountedVolumes();
    for (const QStorageInfo& volume : volumes) {
        if (!volume.isValid() || !volume.isReady())
            continue;
        const QString root = cleanFolder(volume.rootPath());
        if (!roots.contains(root))
            roots.append(root);
    }
    std::sort(roots.begin(), roots.end());
    for (const QString& root : roots)
        m_drvDialog->addItem(style()->standardIcon(QStyle::SP_DriveHDIcon), QDir::toNativeSeparators(root), root);
    const QString home = cleanFolder(QDir::homePath());
    if (!roots.contains(home))
        m_drvDialog->addItem(style()->standardIcon(QStyle::SP_DirHomeIcon),
                             QDir::toNativeSeparators(home) + QStringLiteral(" (home)"), home);
}

int frmPhotoChooser::driveOf(const QString& path) const {
    int best = -1;
    qsizetype bestLength = -1;
    for (int i = 0; i < m_drvDialog->count(); ++i) {
        const QString root = m_drvDialog->itemData(i).toString();
        const bool holds = path == root || root == QLatin1String("/") ||
                           path.startsWith(root.endsWith(QLatin1Char('/')) ? root : root + QLatin1Char('/'));
        if (holds && root.size() > bestLength) {
            best = i;
            bestLength = root.size();
        }
    }
    return best;
}

bool frmPhotoChooser::setFolder(const QString& path) {
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.isDir() || !info.isReadable() || !info.isExecutable())
        return false;
    m_folder = cleanFolder(info.absoluteFilePath());
    const int drive = driveOf(m_folder);
    if (drive >= 0) {
        m_drvDialog->setCurrentIndex(drive);
        m_driveFolders.insert(m_drvDialog->itemData(drive).toString(), m_folder);
    }
    showFolderTree();
    fillFiles();
    return true;
}

void frmPhotoChooser::showFolderTree() {
    m_dirDialog->clear();
    const int drive = driveOf(m_folder);
    const QString root = drive >= 0 ? m_drvDialog->itemData(drive).toString() : QDir::rootPath();

    // The folders from the drive's root down to the current one, then the current one's folders.
    QStringList chain;
    for (QString at = m_folder; !at.isEmpty(); at = cleanFolder(QFileInfo(at).path())) {
        chain.prepend(at);
        if (at == root || QDir(at).isRoot())
            break;
    }
    const QIcon open = style()->standardIcon(QStyle::SP_DirOpenIcon);
    const QIcon closed = style()->standardIcon(QStyle::SP_DirClosedIcon);
    QTreeWidgetItem* parent = nullptr;
    for (const QString& folder : chain) {
        const QString name = QDir(folder).isRoot() || parent == nullptr ? QDir::toNativeSeparators(folder)
                                                                        : QFileInfo(folder).fileName();
        auto* item = parent ? new QTreeWidgetItem(parent, {name}) : new QTreeWidgetItem(m_dirDialog, {name});
        item->setData(0, kPathRole, folder);
        item->setIcon(0, open);
        item->setExpanded(true);
        parent = item;
    }
    const QStringList folders =
        QDir(m_folder).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    for (const QString& name : folders) {
        auto* item = new QTreeWidgetItem(parent, {name});
        item->setData(0, kPathRole, QDir(m_folder).filePath(name));
        item->setIcon(0, closed);
    }
    if (parent) {
        parent->setExpanded(true);
        m_dirDialog->setCurrentItem(parent);
        m_dirDialog->scrollToItem(parent);
    }
}

void frmPhotoChooser::fillFiles() {
    const QString selected = m_fillDialog->currentItem() && m_fillDialog->currentItem()->isSelected()
                                 ? m_fillDialog->currentItem()->text()
                                 : QString();
    const QSignalBlocker quiet(m_fillDialog);
    m_fillDialog->clear();
    const int type = std::max(0, m_cmbFileType->currentIndex());
    // Name patterns match whatever the case, as the file systems the patterns come from do.
    QDir dir(m_folder);
    dir.setNameFilters(fileTypePatterns().value(type));
    dir.setFilter(QDir::Files | QDir::NoDotAndDotDot);
    dir.setSorting(QDir::Name | QDir::IgnoreCase | QDir::LocaleAware);
    m_fillDialog->addItems(dir.entryList());
    if (!selected.isEmpty()) {
        const auto same = m_fillDialog->findItems(selected, Qt::MatchExactly);
        if (!same.isEmpty())
            m_fillDialog->setCurrentItem(same.first());
    }
}

QString frmPhotoChooser::selectedPath() const {
    const auto selected = m_fillDialog->selectedItems();
    if (selected.isEmpty() || m_folder.isEmpty())
        return QString();
    return QDir::toNativeSeparators(QDir(m_folder).filePath(selected.first()->text()));
}

void frmPhotoChooser::drvDialog_Change() {
    const QString root = m_drvDialog->currentData().toString();
    // The drive's folder last browsed, else its root; a drive that cannot be read changes nothing.
    if (setFolder(m_driveFolders.value(root, root)) || setFolder(root))
        return;
    const int drive = driveOf(m_folder);
    if (drive >= 0)
        m_drvDialog->setCurrentIndex(drive);
}

void frmPhotoChooser::dirDialog_Change(const QString& path) {
    if (cleanFolder(path) != m_folder)
        setFolder(path);
}

void frmPhotoChooser::fillDialog_Click() {
    // A file that is no picture just shows none.
    m_imgPhoto->showPicture(selectedPath());
}

void frmPhotoChooser::fillDialog_DblClick() {
    cmdOK_Click();
}

void frmPhotoChooser::cmdOK_Click() {
    const QString path = selectedPath();
    if (path.isEmpty())
        return; // no file chosen yet
    if (!QFileInfo(path).isFile()) {
        fillFiles(); // it has gone meanwhile
        return;
    }
    const qsizetype bad = ProductRules::firstRefused(path);
    if (bad >= 0) {
        MessageBox::show(this, QStringLiteral("This picture's name or folder cannot be recorded. ") +
                                   ProductRules::refusalReason(path, bad) +
                                   QStringLiteral(" Rename the file or its folder, or choose another picture."));
        return;
    }
    m_chosen = path;
    accept();
}

void frmPhotoChooser::cmdCancel_Click() {
    reject();
}
