// The two list models under Qt's own model checker, which aborts the case on
// a row change not announced before it is made; a window search appends row
// by row, and a changed point is announced so that a shown table repaints it.
// And the time stamp the window list shows.
#include "ui/qt/point_table_model.h"
#include "support/fakes.h"
#include "ui/qt/window_list_model.h"

#include <QAbstractItemModelTester>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace zarvex;
using Tester = QAbstractItemModelTester;

TEST(ViewModels, PointTableAnnouncesEveryAppendChangeAndTheClearing)
{
    monitor::MonitorTable table;
    monitor::PointTableModel model(table);
    Tester check(&model, Tester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    monitor::MonitorState state;
    for (int i = 0; i < 3; ++i)
        monitor::AddMonitorPoint(table, state);
    table.Update(1, [](monitor::MonitorPoint& p) { p.alerted = true; });
    EXPECT_EQ(model.index(1, 6).data().toString().toStdString(), "已提醒");
    EXPECT_EQ(model.index(0, 6).data().toString().toStdString(), "") << "not alerted: no status";
    // A shown table repaints a row only when told it changed.
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 1);
    table.Clear();
    EXPECT_EQ(inserted.count(), 3);
    EXPECT_EQ(model.rowCount(), 0);
}

TEST(ViewModels, WindowSearchAppendsRowByRow)
{
    windows::WindowList list;
    windows::WindowListModel model(list);
    Tester check(&model, Tester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
    test::FakeWindows desktop;
    desktop.stack = {{11, "game1"}, {12, "other"}, {13, "game2"}};
    desktop.foreground = 13;
    windows::SearchState search;
    windows::WindowSearch(list, search, desktop, "game");
    EXPECT_EQ(inserted.count(), 3);
    EXPECT_EQ(reset.count(), 1) << "only the clearing at the start";
}

TEST(ViewModels, SwitchTimeIsTheLocalesGeneralDate)
{
    const QDateTime when(QDate(2026, 12, 6), QTime(20, 5, 9));
    EXPECT_EQ(windows::GeneralDateTimeText(when, QLocale("en_US")).toStdString(), "12/6/26 8:05:09 PM");
    EXPECT_EQ(windows::GeneralDateTimeText(when, QLocale("zh_CN")).toStdString(), "2026/12/6 20:05:09");
    EXPECT_EQ(windows::GeneralDateTimeText(when, QLocale("de_DE")).toStdString(), "06.12.26 20:05:09");
}
