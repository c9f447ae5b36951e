#pragma once

#include <map>

namespace dtu::test {

// Timers that repeat at their period until stopped, on a clock that only moves when told to:
// a time-out of seconds costs nothing.
template <typename TimerId>
class FakeTimers {
public:
    int now = 0;

    void start(TimerId t, int ms) { m_running[t] = {now + ms, ms}; }
    void stop(TimerId t) { m_running.erase(t); }
    bool running(TimerId t) const { return m_running.count(t) != 0; }
    int period(TimerId t) const { return running(t) ? m_running.at(t).period : -1; }
    bool idle() const { return m_running.empty(); }

    // Moves the clock forward by ms, firing every timer that falls due, in order.
    template <typename Fire>
    void advance(int ms, Fire&& fire) {
        const int end = now + ms;
        for (;;) {
            auto next = m_running.end();
            for (auto it = m_running.begin(); it != m_running.end(); ++it)
                if (next == m_running.end() || it->second.due < next->second.due) next = it;
            if (next == m_running.end() || next->second.due > end) break;
            now = next->second.due;
            next->second.due += next->second.period;
            fire(next->first);
        }
        now = end;
    }

private:
    struct Running {
        int due;
        int period;
    };
    std::map<TimerId, Running> m_running;
};

}  // namespace dtu::test
