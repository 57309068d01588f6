// SPDX-License-Identifier: MIT
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "forms/thread.h"
#include "forms_fixture.h"

using namespace forms;

namespace {

// A log shared by the worker and the window thread, noting who wrote each line.
class Log {
public:
    void Add(const std::string& line)
    {
        const bool window = std::this_thread::get_id() == windowThread_;
        std::lock_guard lock(mutex_);
        lines_.push_back(line + (window ? " @window" : " @worker"));
    }
    std::vector<std::string> Lines() const
    {
        std::lock_guard lock(mutex_);
        return lines_;
    }

private:
    const std::thread::id windowThread_ = std::this_thread::get_id();
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
};

class Worker : public TThread {
public:
    Worker(bool suspended, Log& log, int steps, bool* deleted = nullptr)
        : TThread(suspended), log_(log), steps_(steps), deleted_(deleted)
    {
    }
    ~Worker() override
    {
        log_.Add("deleted");
        if (deleted_)
            *deleted_ = true;
    }

protected:
    void Execute() override
    {
        log_.Add("execute");
        for (int i = 0; i < steps_ && !Terminated(); ++i) {
            shown_ = i;  // handed over: Show reads it while this thread waits
            Synchronize([this] { log_.Add("show " + std::to_string(shown_)); });
        }
        log_.Add("done");
    }

private:
    Log& log_;
    int steps_;
    bool* deleted_;
    int shown_ = -1;
};

class Threads : public FormsTest {
protected:
    Log log;
};

}  // namespace

TEST_F(Threads, SynchronizeRunsOnTheWindowThreadWhileTheWorkerWaits)
{
    bool deleted = false;
    auto* worker = new Worker(false, log, 3, &deleted);
    worker->SetFreeOnTerminate(true);
    worker->OnTerminate = [&](TObject* sender) {
        EXPECT_EQ(sender, worker);
        log.Add("OnTerminate");
    };
    EXPECT_TRUE(log.Lines().empty()) << "the thread starts once the window thread is free";

    ASSERT_TRUE(headless::PumpUntil([] { return headless::LiveThreads() == 0; }));
    EXPECT_TRUE(deleted);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"execute @worker", "show 0 @window", "show 1 @window",
                                                     "show 2 @window", "done @worker", "OnTerminate @window",
                                                     "deleted @worker"}));
}

TEST_F(Threads, AThreadStartsWhenTheWindowThreadServesItsQueue)
{
    Worker worker(false, log, 1);
    EXPECT_EQ(headless::LiveThreads(), 0);
    EXPECT_EQ(headless::Pump(), 1);  // the queued start
    EXPECT_EQ(headless::LiveThreads(), 1);
    EXPECT_EQ(worker.WaitFor(), 0);
    EXPECT_TRUE(worker.Finished());
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"execute @worker", "show 0 @window", "done @worker"}));
}

TEST_F(Threads, ASuspendedThreadWaitsForStart)
{
    Worker worker(true, log, 0);
    headless::Settle();
    EXPECT_TRUE(log.Lines().empty());
    EXPECT_EQ(headless::LiveThreads(), 0);
    worker.Start();
    worker.WaitFor();
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"execute @worker", "done @worker"}));
}

TEST_F(Threads, WaitForOnTheWindowThreadServesTheWorkersCalls)
{
    {
        Worker worker(false, log, 1000000);
        ASSERT_TRUE(headless::PumpUntil([&] { return log.Lines().size() >= 3; }));
        worker.Terminate();
        worker.WaitFor();  // the worker is blocked in Synchronize: WaitFor must serve it
    }
    const auto lines = log.Lines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 2], "done @worker");
    EXPECT_EQ(lines.back(), "deleted @window");
    EXPECT_EQ(headless::LiveThreads(), 0);
}

TEST_F(Threads, AThreadDeletedBeforeItStartedNeverRuns)
{
    delete new Worker(false, log, 1);
    EXPECT_EQ(headless::Pump(), 1);
    EXPECT_EQ(log.Lines(), std::vector<std::string>{"deleted @window"});
}

TEST_F(Threads, ExceptionsCrossSynchronizeAndEndExecute)
{
    class Failing : public TThread {
    public:
        Failing() : TThread(false) {}
        std::string caught;

    protected:
        void Execute() override
        {
            try {
                Synchronize([] { throw EConvertError("from the window thread"); });
            } catch (const EConvertError& error) {
                caught = error.what();
            }
            throw std::runtime_error("out of Execute");
        }
    } thread;
    thread.WaitFor();
    EXPECT_EQ(thread.caught, "from the window thread");
    ASSERT_TRUE(thread.FatalException());
    EXPECT_THROW(std::rethrow_exception(thread.FatalException()), std::runtime_error);
}

TEST_F(Threads, TerminateIsSeenByTheWorker)
{
    std::atomic<int> passes{0};
    class Spinner : public TThread {
    public:
        explicit Spinner(std::atomic<int>& passes) : TThread(false), passes_(passes) {}

    protected:
        void Execute() override
        {
            while (!Terminated())
                Synchronize([this] { ++passes_; });
        }

    private:
        std::atomic<int>& passes_;
    } spinner(passes);
    ASSERT_TRUE(headless::PumpUntil([&] { return passes >= 5; }));
    spinner.Terminate();
    EXPECT_TRUE(spinner.Terminated());
    spinner.WaitFor();
    EXPECT_TRUE(spinner.Finished());
}
