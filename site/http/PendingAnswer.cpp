#include "site/http/PendingAnswer.h"

#include "site/http/HttpDaemon.h"

#include <QThread>

namespace Site {

void PendingAnswer::answer(HttpAnswer answer) const
{
    decide(std::move(answer));
}

void PendingAnswer::readForm(const FormReader::Limits &limits) const
{
    Q_ASSERT(m_state->atHead);
    decide(limits);
}

bool PendingAnswer::isWaiting() const
{
    return m_state->waiting;
}

void PendingAnswer::decide(Decision decision) const
{
    State &state = *m_state;
    Q_ASSERT(!state.waiting || QThread::currentThread() == state.daemon->thread());
    if (!state.waiting)
        return;
    state.waiting = false;
    state.decision = std::move(decision);
    state.daemon->resume(state);
}

}  // namespace Site
