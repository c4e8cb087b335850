// The chart window through the real main window, its history served on 127.0.0.1.
#include "common/LoopbackServer.h"
#include "common/MainWindowTest.h"

#include "chart/ChartView.h"
#include "chart/frmChart.h"
#include "history/HistoryCsv.h"
#include "research/frmMenu.h"
#include "widgets/GridView.h"

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPushButton>
#include <QLocale>

class TestFrmChart : public MainWindowTest
{
    Q_OBJECT

    std::unique_ptr<LoopbackServer> m_server;
    BarSeries m_bars;

    frmChart *chart(const QString &title)
    {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (w->isVisible() && w->windowTitle() == title)
                return qobject_cast<frmChart *>(w);
        }
        return nullptr;
    }

private slots:
    void init()
    {
        for (int i = 0; i < 300; ++i) {
            const float close = 40 + float(i % 37) * 0.5f;
            m_bars.push_back({QDate(2024, 1, 8).addDays(2 * i), close - 1, close + 1, close - 2, close, 5000 + i});
        }
        QVERIFY(setUpMarket(marketOf({"MSFT", "AAPL"})));
        QVERIFY(showWindow());
        click("butListall");
    }

    void cleanup()
    {
        m_window.reset();
        m_server.reset();
        m_bars.clear();
    }

    // Ctrl+G, a double-click with Ctrl held and the Symbol Menu's "Chart" open
    // the current row's chart; it shows the history, or the service's sentence.
    void opensForTheCurrentRow_data()
    {
        QTest::addColumn<int>("gesture"); // 0 Ctrl+G, 1 Ctrl+double-click, 2 "Chart"
        QTest::addColumn<int>("status");
        QTest::newRow("Ctrl+G") << 0 << 200;
        QTest::newRow("Ctrl+double-click") << 1 << 200;
        QTest::newRow("Symbol Menu") << 2 << 200;
        QTest::newRow("no history to be had") << 0 << 404;
    }

    void opensForTheCurrentRow()
    {
        QFETCH(int, gesture);
        QFETCH(int, status);
        const QByteArray refusal = "No price history of AAPL is stored, and no keyed quote source is set to fetch it.";
        m_server = std::make_unique<LoopbackServer>([&](QTcpSocket *s, const QByteArray &request) {
            const bool ours = LoopbackServer::path(request) == "/history.csv?s=AAPL";
            LoopbackServer::send(s,
                                 {LoopbackServer::http(ours ? status : 400, status == 200 ? "text/csv" : "text/plain",
                                                       status == 200 ? historyCsv(m_bars) : refusal)});
        });
        pointQuotesAt(m_server->port());
        m_window->grid()->setCurrentCell(2, 4); // AAPL's row, a price cell
        if (gesture == 0) {
            QTest::keyClick(m_window.get(), Qt::Key_G, Qt::ControlModifier);
        } else if (gesture == 1) {
            const QRect cell = m_window->gridView()->visualRect(m_window->grid()->index(1, 3));
            QTest::mouseDClick(m_window->gridView()->viewport(), Qt::LeftButton, Qt::ControlModifier, cell.center());
        } else {
            m_window->grid()->setCol(1);
            m_window->symbolMenu()->findChild<QAction *>(QStringLiteral("mnuSymb_Chart"))->trigger();
        }
        frmChart *w = chart(QStringLiteral("AAPL Chart"));
        QVERIFY(w);
        auto *label = w->findChild<QLabel *>(QStringLiteral("lblStatus"));
        QCOMPARE(label->text(), QStringLiteral("Loading…"));
        if (status != 200) {
            QTRY_COMPARE(label->text(), QString::fromLatin1(refusal));
            QVERIFY(!w->view()->isVisible() && m_prompter->messages.isEmpty());
            return;
        }
        QTRY_VERIFY(w->view()->isVisible());
        QVERIFY(!label->isVisible());
        const QString close = QLocale().toString(double(m_bars.back().close), 'f', 2);
        QVERIFY2(w->view()->accessibleDescription().startsWith(
                     QStringLiteral("Last close %1 on %2").arg(close, m_bars.back().date.toString(Qt::ISODate))),
                 qPrintable(w->view()->accessibleDescription()));
        QCOMPARE(m_server->requests.size(), 1);
    }

    // The keys move and zoom the range shown, and the summary follows it;
    // the range button shown down lets go once the keys leave its range.
    void keysMoveTheRange()
    {
        m_server = std::make_unique<LoopbackServer>([&](QTcpSocket *s, const QByteArray &) {
            LoopbackServer::send(s, {LoopbackServer::http(200, "text/csv", historyCsv(m_bars))});
        });
        pointQuotesAt(m_server->port());
        m_window->grid()->setCurrentCell(1, 1);
        QTest::keyClick(m_window.get(), Qt::Key_G, Qt::ControlModifier);
        frmChart *w = chart(QStringLiteral("MSFT Chart"));
        QVERIFY(w);
        ChartView *v = w->view();
        QTRY_VERIFY(v->isVisible());
        const qsizetype last = qsizetype(m_bars.size()) - 1;
        const qsizetype shown = v->lastShown() - v->firstShown() + 1;
        QCOMPARE(v->lastShown(), last);
        QVERIFY(shown > 10 && shown < qsizetype(m_bars.size()));
        auto *year = w->findChild<QPushButton *>(QStringLiteral("butRange1Y"));
        QVERIFY(year->isChecked());
        const QString before = v->accessibleDescription();
        QTest::keyClick(v, Qt::Key_Home);
        QCOMPARE(v->firstShown(), 0);
        QCOMPARE(v->lastShown(), shown - 1);
        QVERIFY(!year->isChecked());
        QVERIFY(v->accessibleDescription() != before);
        QTest::keyClick(v, Qt::Key_Right);
        QVERIFY(v->firstShown() > 0);
        QCOMPARE(v->lastShown() - v->firstShown() + 1, shown);
        QTest::keyClick(v, Qt::Key_End);
        QCOMPARE(v->lastShown(), last);
        QTest::keyClick(v, Qt::Key_Plus);
        QCOMPARE(v->lastShown(), last);
        QVERIFY(v->lastShown() - v->firstShown() + 1 < shown);
        // "Save Image..." writes the chart where the file question says.
        const QString png = m_dir->filePath(QStringLiteral("msft.png"));
        m_prompter->saveFileAnswers << png;
        QTest::mouseClick(w->findChild<QPushButton *>(QStringLiteral("butSaveImage")), Qt::LeftButton);
        QCOMPARE(QImage(png).size(), v->size());
    }
};

QTEST_MAIN(TestFrmChart)
#include "tst_frmchart.moc"
