#include "game/diskqueue.h"

#include <chrono>

DiskQueue::DiskQueue() : worker([state = state] { run(state); }) {}

DiskQueue::~DiskQueue()
{
    const bool done = finish(finishWait);
    {
        const std::lock_guard<std::mutex> hold(state->mutex);
        state->stopping = true;
    }
    state->changed.notify_all();
    // A thread stuck in a system call on a hung disk cannot be stopped; it
    // must not keep the program from ending.
    if (done)
        worker.join();
    else
        worker.detach();
}

void DiskQueue::post(std::function<void()> job)
{
    {
        const std::lock_guard<std::mutex> hold(state->mutex);
        state->jobs.push_back(std::move(job));
    }
    state->changed.notify_all();
}

bool DiskQueue::finish(int milliseconds)
{
    std::unique_lock<std::mutex> hold(state->mutex);
    return state->changed.wait_for(hold, std::chrono::milliseconds(milliseconds),
                                   [this] { return state->jobs.empty() && !state->busy; });
}

void DiskQueue::run(const std::shared_ptr<State>& state)
{
    std::unique_lock<std::mutex> hold(state->mutex);
    for (;;) {
        state->changed.wait(hold, [&] { return state->stopping || !state->jobs.empty(); });
        if (state->jobs.empty())
            return;
        std::function<void()> job = std::move(state->jobs.front());
        state->jobs.pop_front();
        state->busy = true;
        hold.unlock();
        job();
        hold.lock();
        state->busy = false;
        state->changed.notify_all();
    }
}
