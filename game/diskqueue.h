#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

// Work on files, done in the order it is posted on a thread of its own, so
// that no step and no game's teardown ever waits on a disk. A job bounds its
// own waits (a lock it cannot have within a second is a failure, not a
// wait); the queue only bounds how long its owner waits for them to end.
class DiskQueue
{
public:
    DiskQueue();
    // Waits at most finishWait for what is posted, then lets a job that hangs
    // on the disk go on alone: the program ends all the same.
    ~DiskQueue();

    void post(std::function<void()> job);
    // Waits at most milliseconds for every job posted so far; true when
    // they are all done.
    bool finish(int milliseconds);

    static constexpr int finishWait = 3000; // milliseconds, as the program ends

private:
    // Shared with the thread, which may outlive the queue.
    struct State {
        std::mutex mutex;
        std::condition_variable changed;
        std::deque<std::function<void()>> jobs;
        bool busy = false; // a job taken and not yet done
        bool stopping = false;
    };
    static void run(const std::shared_ptr<State>& state);

    std::shared_ptr<State> state = std::make_shared<State>();
    std::thread worker;
};
