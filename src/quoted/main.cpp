// tarnvale-quoted: the bundled local quote service. Answers the program's
// quote requests over HTTP/1.0 from the source its options and configuration
// file choose (see QuoteService).
#include "base/CommandLine.h"
#include "quoted/QuoteService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QSocketNotifier>
#include <QTextStream>

#include <memory>
#include <optional>

#include <csignal>
#include <sys/socket.h>
#include <unistd.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif

namespace {

int signalPipe[2] = {-1, -1};

void onStopSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
}

// SIGTERM (a service manager stopping the service) and SIGINT end the event
// loop like a normal quit, so the closes not yet written are saved.
void quitOnStopSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

} // namespace

int main(int argc, char *argv[])
{
#ifdef __GLIBC__
    // Fixed thresholds: by default glibc raises them once a large block is
    // freed, after which up to 64 MB freed by a large snapshot could stay
    // with the process for good, out of reach of the trim after a reload.
    mallopt(M_MMAP_THRESHOLD, 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 4 * 1024 * 1024);
#endif
    QCoreApplication app(argc, argv);
    CommandLine::nameProgram(QStringLiteral("tarnvale-quoted"));

    QCommandLineParser parser;
    CommandLine::addStandardOptions(
        parser, QStringLiteral("Tarnvale's local quote service. It answers the program's quote requests from "
                               "Massive's end-of-day quotes of the whole US market (with an API key), from stooq's "
                               "quotes (without one), or from a snapshot file."));
    addServiceOptions(parser);
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    if (!parser.positionalArguments().isEmpty()) {
        err << "tarnvale-quoted: unexpected argument \"" << parser.positionalArguments().first() << "\"\n";
        return 2;
    }
    QString error;
    std::optional<ServiceOptions> options = serviceOptions(parser, QProcessEnvironment::systemEnvironment(),
                                                           QCoreApplication::applicationDirPath(), &error);
    if (!options) {
        err << "tarnvale-quoted: " << error << '\n';
        return 2;
    }
    QuoteService service(std::move(*options), err);
    if (!service.start(&error)) {
        err << "tarnvale-quoted: " << error << '\n';
        return 1;
    }
    out << "tarnvale-quoted: " << service.banner() << '\n';
    out.flush();
    quitOnStopSignals(app);
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&service] { service.saveState(); });
    return app.exec();
}
