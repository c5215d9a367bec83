// Shows the monitor point table in ListView2: seven columns, every value as
// the text the table is known by ("1", "A", "-1", "已提醒").
#pragma once

#include "monitor/monitor_model.h"

#include <QAbstractTableModel>

namespace zarvex::monitor {

class PointTableModel : public QAbstractTableModel, public MonitorTable::Listener {
public:
    explicit PointTableModel(MonitorTable& table, QObject* parent = nullptr);
    ~PointTableModel() override;

    // Column headers and their widths in twips.
    struct Column {
        const char* header;
        int widthTwips;
    };
    static const Column kColumns[7];

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static QString CellText(const MonitorPoint& p, int column);

    void RowsAboutToBeAppended(int first, int last) override;
    void RowsAppended() override;
    void RowsChanged(int first, int last) override;
    void AboutToClear() override;
    void Cleared() override;

private:
    MonitorTable& table_;
};

} // namespace zarvex::monitor
