#include "app/NumericFilter.h"

#include <QLineEdit>

QString numericText(const QString &text)
{
    static const QString allowed = QStringLiteral("1234567890.");
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (allowed.contains(c))
            out += c;
    }
    return out;
}

void NumericFilter(QLineEdit *box)
{
    const QString filtered = numericText(box->text());
    if (filtered != box->text())
        box->setText(filtered);
    box->setCursorPosition(int(filtered.size()));
}

void attachNumericFilter(QLineEdit *box)
{
    QObject::connect(box, &QLineEdit::textChanged, box, [box] { NumericFilter(box); });
}
