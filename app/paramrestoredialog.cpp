#include "paramrestoredialog.h"

#include "dictionary.h"
#include "paramconversions.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

namespace {

const QColor DiffersBackground(QStringLiteral("#fef3c7"));
const QColor OkColour(QStringLiteral("#15803d"));
const QColor FailedColour(QStringLiteral("#b91c1c"));

QString parameterName(const QString &key, const QString &lang)
{
    if (key == QLatin1String("pos0PushEnable"))
        return translateKey(QStringLiteral("restore_pos0Push"), lang);
    if (key == QLatin1String("pos1PushEnable"))
        return translateKey(QStringLiteral("restore_pos1Push"), lang);
    return ParamConv::labelOf(key, lang);
}

}  // namespace

ParamRestoreDialog::ParamRestoreDialog(const QVector<ParamDiff::Row> &rows, const QString &fileName,
                                       const QString &lang, QWidget *parent)
    : QDialog(parent), m_rows(rows), m_table(new QTableWidget(this)), m_summary(new QLabel(this)),
      m_write(new QPushButton(translateKey(QStringLiteral("restore_write"), lang), this))
{
    setObjectName(QStringLiteral("dlgParamRestore"));
    setWindowTitle(translateKey(QStringLiteral("restore_title"), lang).arg(fileName));
    m_table->setObjectName(QStringLiteral("tblParamRestore"));
    m_summary->setObjectName(QStringLiteral("lblRestoreSummary"));
    m_write->setObjectName(QStringLiteral("btnWriteDifferences"));
    auto *close = new QPushButton(translateKey(QStringLiteral("restore_close"), lang), this);
    close->setObjectName(QStringLiteral("btnCloseRestore"));

    m_table->setColumnCount(ColumnCount);
    m_table->setHorizontalHeaderLabels({translateKey(QStringLiteral("restore_col_param"), lang),
                                        translateKey(QStringLiteral("restore_col_file"), lang),
                                        translateKey(QStringLiteral("restore_col_drive"), lang),
                                        translateKey(QStringLiteral("restore_col_unit"), lang),
                                        translateKey(QStringLiteral("restore_col_result"), lang)});
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    m_table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    m_table->horizontalHeader()->setStretchLastSection(true);
    m_table->setRowCount(rows.size());
    int differing = 0;
    for (int r = 0; r < rows.size(); ++r) {
        const ParamDiff::Row &row = rows[r];
        const QString mark = row.differs ? translateKey(QStringLiteral("restore_differs"), lang)
                             : row.inFile ? translateKey(QStringLiteral("restore_same"), lang)
                                          : translateKey(QStringLiteral("restore_notInFile"), lang);
        const QStringList texts = {parameterName(row.key, lang), row.fileValue, row.driveValue, row.unit, mark};
        for (int c = 0; c < ColumnCount; ++c) {
            auto *item = new QTableWidgetItem(texts[c]);
            item->setData(Qt::UserRole, row.key);
            if (row.differs)
                item->setBackground(DiffersBackground);
            m_table->setItem(r, c, item);
        }
        differing += row.differs ? 1 : 0;
    }
    m_summary->setText(translateKey(QStringLiteral("restore_summary"), lang).arg(differing).arg(rows.size()));
    m_write->setEnabled(differing > 0);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_summary, 1);
    buttons->addWidget(m_write);
    buttons->addWidget(close);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_table);
    layout->addLayout(buttons);
    resize(760, 560);

    connect(m_write, &QPushButton::clicked, this, &ParamRestoreDialog::writeDifferencesRequested);
    connect(close, &QPushButton::clicked, this, &QDialog::accept);
}

int ParamRestoreDialog::rowOf(const QString &key) const
{
    for (int r = 0; r < m_rows.size(); ++r) {
        if (m_rows[r].key == key)
            return r;
    }
    return -1;
}

void ParamRestoreDialog::setResult(const QString &key, bool ok, const QString &text)
{
    const int r = rowOf(key);
    if (r < 0)
        return;
    QTableWidgetItem *item = m_table->item(r, ResultColumn);
    item->setText(text);
    item->setForeground(ok ? OkColour : FailedColour);
}

void ParamRestoreDialog::setSummary(const QString &text)
{
    m_summary->setText(text);
}

void ParamRestoreDialog::setWriteDone()
{
    m_write->setEnabled(false);
}
