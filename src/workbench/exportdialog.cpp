#include "exportdialog.h"

#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace tavrin {

ExportDialog::ExportDialog(std::shared_ptr<const Calibration> shown, QWidget *parent)
    : QDialog(parent), calibration(std::move(shown))
{
    setWindowTitle(tr("Export"));
    auto *layout = new QVBoxLayout(this);
    auto *splitter = new QSplitter(Qt::Vertical, this);
    formats = new QTableWidget(int(workbenchExports().size()), 2, splitter);
    formats->setHorizontalHeaderLabels({tr("Format"), tr("What it is")});
    formats->setEditTriggers(QAbstractItemView::NoEditTriggers);
    formats->setSelectionBehavior(QAbstractItemView::SelectRows);
    formats->setSelectionMode(QAbstractItemView::SingleSelection);
    formats->verticalHeader()->hide();
    formats->horizontalHeader()->setStretchLastSection(true);
    for (int row = 0; row < int(workbenchExports().size()); row++) {
        const WorkbenchExport &format = workbenchExports()[size_t(row)];
        formats->setItem(row, 0, new QTableWidgetItem(format.name));
        formats->setItem(row, 1, new QTableWidgetItem(format.note));
    }
    formats->resizeColumnToContents(0);
    preview = new QPlainTextEdit(splitter);
    preview->setReadOnly(true);
    preview->setLineWrapMode(QPlainTextEdit::NoWrap);
    preview->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(splitter, 1);
    problem = new QLabel(this);
    problem->setWordWrap(true);
    layout->addWidget(problem);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    copy = buttons->addButton(tr("&Copy"), QDialogButtonBox::ActionRole);
    save = buttons->addButton(tr("&Save As…"), QDialogButtonBox::ActionRole);
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(formats, &QTableWidget::currentCellChanged, this, [this](int row) { select(row); });
    connect(copy, &QPushButton::clicked, this,
            [this] { QGuiApplication::clipboard()->setText(preview->toPlainText()); });
    connect(save, &QPushButton::clicked, this,
            [this] { emit saveAsked(workbenchExports()[size_t(formats->currentRow())]); });
    formats->setCurrentCell(0, 0);
    select(0);
    resize(820, 620);
}

void ExportDialog::select(int row)
{
    if (row < 0 || row >= int(workbenchExports().size()))
        return;
    if (formats->currentRow() != row)
        formats->setCurrentCell(row, 0);
    const WorkbenchExport &format = workbenchExports()[size_t(row)];
    QString reason;
    const std::optional<QByteArray> text = format.text ? format.text(*calibration, &reason) : std::nullopt;
    preview->setPlainText(text ? QString::fromUtf8(*text) : QString());
    problem->setText(!format.text ? tr("An image: Save As writes it.")
                     : text       ? QString()
                                  : tr("Not possible for this calibration: %1").arg(reason));
    copy->setEnabled(bool(text));
}

QString ExportDialog::shownText() const
{
    return preview->toPlainText();
}

} // namespace tavrin
