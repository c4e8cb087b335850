#include "about/AboutInfo.h"
#include "app/frmMain.h"
#include "common/ScriptedPrompter.h"
#include "common/TestSettings.h"
#include "screen/Criteria.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

namespace {

// The guide as its reader sees it: entities decoded, tags gone.
QString guideText()
{
    QFile file(QStringLiteral(TARNVALE_HELP_GUIDE));
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    QTextDocument document;
    document.setHtml(QString::fromUtf8(file.readAll()));
    return document.toPlainText().simplified();
}

void collectMenuTexts(const QList<QAction *> &actions, QStringList *out)
{
    for (QAction *a : actions) {
        if (a->isSeparator())
            continue;
        *out << a->text();
        if (a->menu())
            collectMenuTexts(a->menu()->actions(), out);
    }
}

} // namespace

class TestHelpGuide : public QObject
{
    Q_OBJECT

private:
    QString m_guide;

    void verifyCovered(const QStringList &texts)
    {
        QStringList missing;
        for (const QString &t : texts) {
            if (!m_guide.contains(t.simplified()))
                missing << t;
        }
        QVERIFY2(missing.isEmpty(), qPrintable(missing.join(QStringLiteral(" | "))));
    }

private slots:
    void initTestCase()
    {
        m_guide = guideText();
        QVERIFY(m_guide.size() > 1000);
    }

    void explainsEveryMenuPanelAndButtonOfTheMainWindow()
    {
        TestSettings settings;
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        frmMain w(dir.path(), &prompter);
        QStringList texts;
        collectMenuTexts(w.menuBar()->actions(), &texts);
        QVERIFY(texts.contains(QStringLiteral("Possible Profit")));
        for (QGroupBox *g : w.findChildren<QGroupBox *>()) {
            if (!g->title().isEmpty())
                texts << g->title();
        }
        for (QPushButton *b : w.findChildren<QPushButton *>())
            texts << b->text();
        verifyCovered(texts);
    }

    void explainsEveryCriterionAndColumn()
    {
        QStringList texts;
        for (const Criterion &c : kCriteria)
            texts << QString::fromLatin1(c.caption);
        texts << QStringList{"#", "SYMBOL", "LAST", "OPEN", "CHANGE", "LOW",
                             "HIGH", "SPREAD", "VOLUME", "PROFIT", "SHARES"};
        verifyCovered(texts);
    }

    void explainsTheSymbolMenuAndResearchWindow()
    {
        verifyCovered({"Symbol Menu", "Yahoo!", "Big Charts", "Earnings", "Financials", "Short Interest",
                       "Technical Tools", "Insider Trading", "Institutional Holdings", "News Articles",
                       "Press Releases", "Corporate Events", "SEC Filings", "Dividends & Splits", "Remove",
                       "Research Tools", "research window"});
    }

    void explainsTheCalculators()
    {
        verifyCovered({"Buy Power", "Possible Profit", "Price per share", "Buy Price", "Sell Price", "Calc",
                       "489", "33,333", "467.02", "-21.98", "Share count out of range", "Profit out of range",
                       "must be above 0", "is not a number"});
    }

    void explainsTheQuoteService()
    {
        verifyCovered({"[Service]", "QuoteHost", "localhost:8765", "tarnvale-quoted", "--listen", "--snapshot",
                       "~/.config/Tarnvale/Tarnvale.conf", "[Settings]"});
    }

    void explainsEveryMessage()
    {
        verifyCovered({"is already listed!", "has been added!", "has been removed!", "is not listed!",
                       "There was an error while updating the market database! Try again in a few moments.",
                       "The update has been completed!",
                       "was not found the the market database, would you like to add it?",
                       "could not be opened", "could not be saved", "is not a number", "is missing",
                       "could not be started"});
    }

    void helpProgramIsBuiltWhereTheLauncherLooks()
    {
        const QFileInfo program(AboutInfo::helpProgramPath(QStringLiteral(TARNVALE_BIN_DIR)));
        QVERIFY2(program.isFile(), qPrintable(program.filePath()));
        QVERIFY(program.isExecutable());
    }
};

QTEST_MAIN(TestHelpGuide)
#include "tst_helpguide.moc"
