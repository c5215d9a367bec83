#include "ui/qt/window_list_model.h"

namespace zarvex::windows {

const WindowListModel::Column WindowListModel::kColumns[4] = {
    {"序号", 800}, {"句柄", 800}, {"程序名称", 2000}, {"状态", 1000}};

WindowListModel::WindowListModel(WindowList& list, QObject* parent) : QAbstractTableModel(parent), list_(list)
{
    list_.SetListener(this);
}

WindowListModel::~WindowListModel()
{
    list_.SetListener(nullptr);
}

int WindowListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : list_.Count();
}

int WindowListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 4;
}

QVariant WindowListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= list_.Count() || (role != Qt::DisplayRole && role != Qt::AccessibleTextRole))
        return {};
    const WindowEntry& e = list_.At(index.row());
    switch (index.column()) {
    case 0: return QString::number(e.entryNo);
    case 1: return QString::fromStdString(HandleText(e.handle));
    case 2: return QString::fromStdString(e.title);
    case 3: return QString::fromStdString(e.shownAt);
    default: return {};
    }
}

QVariant WindowListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 4)
        return QString::fromUtf8(kColumns[section].header);
    return {};
}

void WindowListModel::RowAboutToBeAppended(int row)
{
    beginInsertRows({}, row, row);
}

void WindowListModel::RowAppended()
{
    endInsertRows();
}

void WindowListModel::AboutToClear()
{
    beginResetModel();
}

void WindowListModel::Cleared()
{
    endResetModel();
}

void WindowListModel::RowChanged(int row)
{
    emit dataChanged(index(row, 0), index(row, 3));
}

QString GeneralDateTimeText(const QDateTime& when, const QLocale& locale)
{
    // The long time format ends or starts with the zone ("t", sometimes in
    // brackets or after a comma); the clock time alone is wanted.
    QString time;
    bool quoted = false;
    for (const QChar c : locale.timeFormat(QLocale::LongFormat)) {
        if (c == u'\'')
            quoted = !quoted;
        if (quoted || c != u't')
            time += c;
    }
    time = time.remove(QStringLiteral("()")).remove(QStringLiteral("[]")).trimmed();
    if (time.endsWith(u','))
        time.chop(1);
    return locale.toString(when.date(), QLocale::ShortFormat) + u' ' + locale.toString(when.time(), time);
}

} // namespace zarvex::windows
