#include "app/frmDiagnostics.h"

#include "ui/Twips.h"

#include <QListWidget>
#include <QVBoxLayout>

frmDiagnostics::frmDiagnostics(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("frmDiagnostics"));
    setWindowTitle(QStringLiteral("Diagnostics"));
    setFixedSize(Twips::toPixels(this, 6000), Twips::toPixels(this, 4000));
    m_lstDisplay = new QListWidget(this);
    m_lstDisplay->setObjectName(QStringLiteral("lstDisplay"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_lstDisplay);
}

void frmDiagnostics::append(const QString& line) {
    m_lstDisplay->addItem(line);
}

void frmDiagnostics::selectLast() {
    if (m_lstDisplay->count() > 0)
        m_lstDisplay->setCurrentRow(m_lstDisplay->count() - 1);
}
