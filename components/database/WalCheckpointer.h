// Copies committed changes from a database's write-ahead log into the database file on a thread of its
// own, with a connection of its own, so the thread that commits (the user-interface thread) waits only
// for its commit, never for the copy.
#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

namespace kalvo {

class WalCheckpointer
{
public:
    explicit WalCheckpointer(std::string path);
    // Waits for a checkpoint that runs and ends the thread.
    ~WalCheckpointer();
    WalCheckpointer(const WalCheckpointer&) = delete;
    WalCheckpointer& operator=(const WalCheckpointer&) = delete;

    // Asks for a checkpoint soon; requests made while one runs are served by one more.
    void request();
    // Waits until every checkpoint asked for has run.
    void waitIdle();

private:
    void run();

    std::string m_path;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_requested = false;
    bool m_running = false;
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace kalvo
