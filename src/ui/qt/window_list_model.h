// Shows the window list in ListView1: 序号, 句柄, 程序名称, 状态.
#pragma once

#include "windows/window_search.h"

#include <QAbstractTableModel>

namespace zarvex::windows {

class WindowListModel : public QAbstractTableModel, public WindowList::Listener {
public:
    struct Column {
        const char* header;
        int widthTwips;
    };
    static const Column kColumns[4];

    explicit WindowListModel(WindowList& list, QObject* parent = nullptr);
    ~WindowListModel() override;
    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void Reset() override;
    void RowChanged(int row) override;

private:
    WindowList& list_;
};

} // namespace zarvex::windows
