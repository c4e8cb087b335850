// Builds a market file from a plain-text symbol list (one symbol a line,
// "#" starts a comment) with the program's own writer.
#include "market/MarketStore.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.size() != 3) {
        QTextStream(stderr) << "usage: tarnvale-mkmarket SYMBOLS.txt OUT.bin\n";
        return 2;
    }
    QFile list(args[1]);
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QTextStream(stderr) << args[1] << ": " << list.errorString() << '\n';
        return 1;
    }
    MarketDatabase db;
    QTextStream in(&list);
    while (!in.atEnd()) {
        const QString line = in.readLine().section(u'#', 0, 0).trimmed();
        if (line.isEmpty())
            continue;
        db.Stocks.last().Symbol = line;
        db.Stocks.append(StockRecord{});
    }
    QString error;
    if (!writeMarketFile(args[2], db, &error)) {
        QTextStream(stderr) << args[2] << ": " << error << '\n';
        return 1;
    }
    return 0;
}
