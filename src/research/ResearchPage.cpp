#include "research/ResearchPage.h"

#include "research/frmWB.h"

#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace {

// How the frame script tells the window that it held a navigation back.
const QString kHeldBack = QStringLiteral("tarnvale-frame-target-held-back ");

// The browser tells the program which frame a navigation loads into, but not
// which frame the link or form named as its target. This script, run in
// every frame before the page's own scripts, reads that name where the page
// gives it: the target of a clicked link or area, the target of a submitted
// form (or the formtarget of its button), the page's <base target>, and the
// name given to window.open. When it names another frame than the one the
// link sits in (a named frame, or "_top"/"_parent" from inside a frame), the
// navigation is held back and reported. "_self", no target, "_top"/"_parent"
// in the top page and a frame's own name stay in place; "_blank" asks for a
// new window, which the window refuses by itself.
// What it cannot see: a script that loads another frame directly
// (parent.location = ..., frames[0].location = ..., a named frame's
// location.replace); those are plain navigations of that frame, as far as
// the browser reports them, and they go ahead. Nor can it stop a page that
// sets out to undo it: it runs in the page's own script world, the only one
// where form.submit() and window.open can be watched.
const char kFrameScript[] = R"JS(
(function () {
  'use strict';
  const report = console.info.bind(console);
  const marker = %1;
  const submit = HTMLFormElement.prototype.submit;
  const open = window.open;
  const inFrame = window.top !== window;

  function namesAnotherFrame(target) {
    const name = target === null || target === undefined ? '' : String(target);
    const keyword = name.toLowerCase();
    if (name === '' || keyword === '_self' || keyword === '_blank')
      return false;
    if (keyword === '_top' || keyword === '_parent')
      return inFrame;
    return name !== window.name;
  }
  function baseTarget() {
    const base = document.querySelector('base[target]');
    return base ? base.getAttribute('target') : '';
  }
  function linkTarget(link) {
    return link.hasAttribute('target') ? link.getAttribute('target') : baseTarget();
  }
  function formTarget(form, submitter) {
    if (submitter && submitter.hasAttribute('formtarget'))
      return submitter.getAttribute('formtarget');
    return form.hasAttribute('target') ? form.getAttribute('target') : baseTarget();
  }
  function absolute(url) {
    try { return new URL(url, document.baseURI).href; } catch (e) { return String(url); }
  }

  window.addEventListener('click', function (event) {
    for (const node of event.composedPath()) {
      if (node instanceof Element && node.matches('a[href], area[href]')) {
        if (namesAnotherFrame(linkTarget(node))) {
          event.preventDefault();
          report(marker + absolute(node.getAttribute('href')));
        }
        return;
      }
    }
  }, true);

  window.addEventListener('submit', function (event) {
    const form = event.target;
    if (form instanceof HTMLFormElement && namesAnotherFrame(formTarget(form, event.submitter))) {
      event.preventDefault();
      report(marker + form.action);
    }
  }, true);

  HTMLFormElement.prototype.submit = function () {
    if (namesAnotherFrame(formTarget(this, null))) {
      report(marker + this.action);
      return;
    }
    return submit.call(this);
  };

  window.open = function (url, target) {
    if (namesAnotherFrame(target)) {
      report(marker + absolute(url === undefined ? '' : url));
      return null;
    }
    return open.apply(this, arguments);
  };
})();
)JS";

QString jsString(const QString &text)
{
    return u'\'' + text + u'\'';
}

// Shown in place of the browser's own error page when no answer came from
// the page's host at all.
QString unreachablePage(const QUrl &url)
{
    const QString host = url.host().toHtmlEscaped();
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1 does not answer</title>"
                          "</head><body style=\"font-family:sans-serif;margin:2em\"><h1>%1 does not answer</h1>"
                          "<p>The page could not be loaded from %1. This computer may be offline, or the site no "
                          "longer answers.</p><p>%2</p></body></html>")
        .arg(host, url.toDisplayString().toHtmlEscaped());
}

// Chromium's code for a load given up on purpose (a new page asked for, Stop).
constexpr int kLoadAborted = -3;

} // namespace

ResearchPage::ResearchPage(frmWB *window, QObject *parent)
    : QWebEnginePage(parent)
    , m_window(window)
{
    // A scheme the browser does not know is never handed to the desktop,
    // whatever the page or the user does.
    profile()->settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    connect(this, &QWebEnginePage::loadingChanged, this, &ResearchPage::loadingChanged);

    QWebEngineScript frames;
    frames.setName(QStringLiteral("frame-targets"));
    frames.setSourceCode(QString::fromLatin1(kFrameScript).arg(jsString(kHeldBack)));
    frames.setInjectionPoint(QWebEngineScript::DocumentCreation);
    frames.setWorldId(QWebEngineScript::MainWorld); // form.submit() and window.open are the page's own
    frames.setRunsOnSubFrames(true);
    scripts().insert(frames);
}

void ResearchPage::loadingChanged(const QWebEngineLoadingInfo &info)
{
    // A site that answered, even with an error status, shows its own page.
    if (info.status() != QWebEngineLoadingInfo::LoadFailedStatus || info.errorCode() == kLoadAborted
        || info.errorDomain() == QWebEngineLoadingInfo::HttpStatusCodeDomain || m_unreachablePending)
        return;
    m_unreachablePending = true;
    m_showingUnreachable = true;
    setHtml(unreachablePage(info.url()), info.url());
}

bool ResearchPage::acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame)
{
    // setHtml() arrives as a data: address, which no page may open itself.
    if (m_unreachablePending && isMainFrame && type == NavigationTypeTyped && url.scheme() == QLatin1String("data")) {
        m_unreachablePending = false;
        return true;
    }
    bool cancel = false;
    m_window->WB_BeforeNavigate2(url, cancel);
    if (!cancel && isMainFrame)
        m_showingUnreachable = false;
    return !cancel;
}

QWebEnginePage *ResearchPage::createWindow(WebWindowType)
{
    bool cancel = true;
    m_window->WB_NewWindow2(cancel);
    // There is never a second research window to hand out.
    return nullptr;
}

void ResearchPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int lineNumber,
                                            const QString &sourceID)
{
    // Any page could write the same words; the worst it gains is a caption
    // refreshed and a held-back navigation reported that never was.
    if (message.startsWith(kHeldBack)) {
        m_window->frameTargetHeldBack(QUrl(message.mid(kHeldBack.size())));
        return;
    }
    QWebEnginePage::javaScriptConsoleMessage(level, message, lineNumber, sourceID);
}
