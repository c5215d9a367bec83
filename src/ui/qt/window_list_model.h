// Shows the window list in ListView1: 序号, 句柄, 程序名称, 状态.
#pragma once

#include "windows/window_search.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QLocale>

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
    void RowAboutToBeAppended(int row) override;
    void RowAppended() override;
    void AboutToClear() override;
    void Cleared() override;
    void RowChanged(int row) override;

private:
    WindowList& list_;
};

// The time a window was brought to the front, as the 状态 column shows it: the
// locale's short date and its long time without the time zone, the desktop's
// usual general date ("12/6/26 8:05:09 PM" in en_US, "2026/12/6 20:05:09" in zh_CN).
QString GeneralDateTimeText(const QDateTime& when, const QLocale& locale = QLocale::system());

} // namespace zarvex::windows
