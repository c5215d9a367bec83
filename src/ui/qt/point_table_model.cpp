#include "ui/qt/point_table_model.h"

namespace zarvex::monitor {

// The colour column is one twip wide: the value is kept, not shown.
const PointTableModel::Column PointTableModel::kColumns[7] = {
    {"序号", 500}, {"X坐标", 800}, {"Y坐标", 800}, {"分组", 800}, {"阀值", 800}, {"颜色", 1}, {"状态", 800},
};

PointTableModel::PointTableModel(MonitorTable& table, QObject* parent) : QAbstractTableModel(parent), table_(table)
{
    table_.SetListener(this);
}

PointTableModel::~PointTableModel()
{
    table_.SetListener(nullptr);
}

int PointTableModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : table_.Count();
}

int PointTableModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 7;
}

QString PointTableModel::CellText(const MonitorPoint& p, int column)
{
    switch (column) {
    case 0: return QString::number(p.number);
    case 1: return QString::number(p.x);
    case 2: return QString::number(p.y);
    case 3: return QString::fromStdString(p.group);
    case 4: return QString::fromStdString(CounterText(p.counter));
    case 5: return QString::number(p.lastColor);
    case 6: return QString::fromStdString(StatusText(p));
    default: return {};
    }
}

QVariant PointTableModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= table_.Count())
        return {};
    if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
        return CellText(table_.At(index.row()), index.column());
    return {};
}

QVariant PointTableModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 7)
        return QString::fromUtf8(kColumns[section].header);
    return {};
}

void PointTableModel::RowsAboutToBeAppended(int first, int last)
{
    beginInsertRows({}, first, last);
}

void PointTableModel::RowsAppended()
{
    endInsertRows();
}

void PointTableModel::RowsChanged(int first, int last)
{
    emit dataChanged(index(first, 0), index(last, 6));
}

void PointTableModel::AboutToClear()
{
    beginResetModel();
}

void PointTableModel::Cleared()
{
    endResetModel();
}

} // namespace zarvex::monitor
