#include "common/MainWindowTest.h"

#include "app/QuoteSourceDialog.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTcpServer>

#include <sys/stat.h>

// "Tools" > "Quote Source...": the choice and the key go to the service's
// configuration file, readable by the user alone, and come back next time.
class TestQuoteSourceDialog : public MainWindowTest
{
    Q_OBJECT

    QuoteSourceDialog *dialog() const { return m_window->findChild<QuoteSourceDialog *>(); }
    template <typename T> T *in(const char *name) const { return dialog()->findChild<T *>(QString::fromLatin1(name)); }
    void ok() const
    {
        QTest::mouseClick(dialog()->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok), Qt::LeftButton);
    }

private slots:
    void init()
    {
        QVERIFY(setUpMarket(marketOf({"AAA"})));
        QVERIFY(showWindow(false));
        QFile::remove(quoteSourceConfigPath());
    }
    void cleanup()
    {
        m_window.reset();
        QFile::remove(quoteSourceConfigPath());
    }

    void keyIsKeptAndHidden()
    {
        trigger("mnuTools_QuoteSource");
        QTRY_VERIFY(dialog() && dialog()->isVisible());
        QVERIFY(in<QRadioButton>("optStooq")->isChecked());
        QVERIFY(!in<QLineEdit>("txtApiKey")->isEnabled());
        QTest::mouseClick(in<QRadioButton>("optMassive"), Qt::LeftButton);
        QVERIFY(in<QLineEdit>("txtApiKey")->isEnabled());
        QCOMPARE(in<QLineEdit>("txtApiKey")->echoMode(), QLineEdit::Password);
        ok(); // no key yet: refused, nothing written
        QCOMPARE(m_prompter->messages.size(), 1);
        QVERIFY(dialog()->isVisible());
        QVERIFY(!QFile::exists(quoteSourceConfigPath()));

        QTest::keyClicks(in<QLineEdit>("txtApiKey"), QStringLiteral("abc123"));
        ok();
        QTRY_VERIFY(!dialog());
        QFile file(quoteSourceConfigPath());
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("[Source]\nName=massive\nUrl=\nApiKey=abc123\n"));
        struct stat info
        {
        };
        QCOMPARE(::stat(QFile::encodeName(file.fileName()).constData(), &info), 0);
        QCOMPARE(info.st_mode & 0777, mode_t(0600));

        trigger("mnuTools_QuoteSource");
        QTRY_VERIFY(dialog() && dialog()->isVisible());
        QVERIFY(in<QRadioButton>("optMassive")->isChecked());
        QCOMPARE(in<QLineEdit>("txtApiKey")->text(), QStringLiteral("abc123"));
        // "Test" with no service there says so.
        QTcpServer gone;
        QVERIFY(gone.listen(QHostAddress::LocalHost));
        pointQuotesAt(gone.serverPort());
        gone.close();
        QTest::mouseClick(in<QPushButton>("butTest"), Qt::LeftButton);
        QTRY_VERIFY(in<QLabel>("lblStatus")->text().contains(QStringLiteral("does not answer")));
    }
};

QTEST_MAIN(TestQuoteSourceDialog)
#include "tst_quotesourcedialog.moc"
