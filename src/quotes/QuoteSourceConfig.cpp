#include "quotes/QuoteSourceConfig.h"

#include "base/ErrorReturn.h"
#include "market/SafeFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

namespace {

bool knownSource(const QString &name)
{
    return name.isEmpty()
           || std::any_of(std::begin(kQuoteSourceNames), std::end(kQuoteSourceNames),
                          [&name](const char *known) { return name == QLatin1StringView(known); });
}

bool plainValue(const QString &value)
{
    return std::none_of(value.begin(), value.end(), [](QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; });
}

} // namespace

QString quoteSourceConfigPath()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(QStringLiteral("Tarnvale/quoted.conf"));
}

std::optional<QuoteSourceConfig> readQuoteSourceConfig(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.exists())
        return QuoteSourceConfig{};
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        fail(error, file.errorString());
        return std::nullopt;
    }
    QuoteSourceConfig config;
    bool inSource = false;
    const QList<QByteArray> lines = file.readAll().split('\n');
    for (const QByteArray &raw : lines) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(u'#') || line.startsWith(u';'))
            continue;
        if (line.startsWith(u'[')) {
            inSource = line == u"[Source]";
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (!inSource || equals < 0)
            continue;
        const QString key = line.first(equals).trimmed();
        const QString value = line.sliced(equals + 1).trimmed();
        if (key == u"Name")
            config.name = value;
        else if (key == u"Url")
            config.url = value;
        else if (key == u"ApiKey")
            config.apiKey = value;
    }
    if (!knownSource(config.name)) {
        fail(error, QStringLiteral("\"%1\" is not a quote source (massive, stooq or snapshot).").arg(config.name));
        return std::nullopt;
    }
    return config;
}

bool writeQuoteSourceConfig(const QString &path, const QuoteSourceConfig &config, QString *error)
{
    if (!knownSource(config.name))
        return fail(error, QStringLiteral("\"%1\" is not a quote source.").arg(config.name));
    if (!plainValue(config.url) || !plainValue(config.apiKey))
        return fail(error, QStringLiteral("The address and the key must be one line of text."));
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder))
        return fail(error,
                    QStringLiteral("The folder \"%1\" cannot be created.").arg(QDir::toNativeSeparators(folder)));
    const QByteArray text = "[Source]\nName=" + config.name.toUtf8() + "\nUrl=" + config.url.toUtf8()
                            + "\nApiKey=" + config.apiKey.toUtf8() + '\n';
    return SafeFile::writeAtomically(path, text, error, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}
