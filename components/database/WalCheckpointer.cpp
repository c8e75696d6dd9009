// The background checkpoint of the call database.
#include "WalCheckpointer.h"

#include <pthread.h>
#include <sqlite3.h>

namespace kalvo {

WalCheckpointer::WalCheckpointer(std::string path) : m_path(std::move(path))
{
    m_thread = std::thread([this] { run(); });
}

WalCheckpointer::~WalCheckpointer()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    m_thread.join();
}

void WalCheckpointer::request()
{
    {
        std::lock_guard lock(m_mutex);
        m_requested = true;
    }
    m_wake.notify_all();
}

void WalCheckpointer::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_wake.wait(lock, [this] { return !m_requested && !m_running; });
}

void WalCheckpointer::run()
{
    pthread_setname_np(pthread_self(), "kalvo-checkpoint");
    sqlite3* db = nullptr;
    for (;;) {
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_requested || m_stop; });
            if (!m_requested)
                break;
            m_requested = false;
            m_running = true;
        }
        if (!db && sqlite3_open_v2(m_path.c_str(), &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                                   nullptr) != SQLITE_OK) {
            sqlite3_close_v2(db);
            db = nullptr;
        }
        // A new connection learns that the file keeps a write-ahead log only once it has read it.
        if (db && sqlite3_exec(db, "PRAGMA schema_version", nullptr, nullptr, nullptr) != SQLITE_OK) {
            sqlite3_close_v2(db);
            db = nullptr;
        }
        // A checkpoint that cannot run now (a reader, a writer) is not a failure: the next catches up,
        // and closing the database empties the log in any case.
        if (db) {
            sqlite3_busy_timeout(db, 1000);
            sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr, nullptr);
        }
        {
            std::lock_guard lock(m_mutex);
            m_running = false;
        }
        m_wake.notify_all();
    }
    sqlite3_close_v2(db);
}

} // namespace kalvo
