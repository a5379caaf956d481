#pragma once

#include "platform/WebPane.h"

#include <QTest>
#include <QWebEngineScript>

#include <memory>

// Waits until every script the pane was asked to run in the program's own world has run:
// they run in the order asked, so an answer from one more means the earlier ones are done.
// A right click sent earlier could overtake the hook that keeps the menu away.
inline bool waitForApplicationScripts(WebPane *pane)
{
    auto answered = std::make_shared<bool>(false);
    pane->page()->runJavaScript(QStringLiteral("0"), QWebEngineScript::ApplicationWorld,
                                [answered](const QVariant &) { *answered = true; });
    return QTest::qWaitFor([&] { return *answered; }, 20000);
}
