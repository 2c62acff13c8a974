// The batch of documents processed on several threads.
#include "cli/batch.h"

#include <cstdlib>
#include <new>

#include "base/util.h"

namespace varnel {

size_t ClassNumbering::add() {
    std::lock_guard<std::mutex> lock(mutex_);
    next_.push_back(-1);
    return next_.size() - 1;
}

int ClassNumbering::first_for(size_t place) {
    std::unique_lock<std::mutex> lock(mutex_);
    settled_.wait(lock, [&] { return resolved_ >= place; });
    return current_;
}

void ClassNumbering::settle(size_t place, int next) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (place >= next_.size() || next_[place] >= 0) return;
    next_[place] = next < 0 ? 0 : next;
    while (resolved_ < next_.size() && next_[resolved_] >= 0) {
        if (next_[resolved_] > 0) current_ = next_[resolved_];
        ++resolved_;
    }
    settled_.notify_all();
}

MemoryFile::MemoryFile() : file_(open_memstream(&buffer_, &size_)) {
    if (file_ == nullptr) fatal_error("Out of memory!");
}

MemoryFile::~MemoryFile() {
    close();
    free(buffer_);
}

size_t MemoryFile::size_now() {
    if (file_ != nullptr) fflush(file_);
    return size_;
}

void MemoryFile::close() {
    if (file_ == nullptr) return;
    fclose(file_);
    file_ = nullptr;
}

void BatchResult::close() {
    output.close();
    reports.close();
    errors.close();
}

Batch::Batch(int threads) {
    if (threads < 1) threads = 1;
    for (int i = 0; i < threads; ++i)
        workers_.emplace_back([this] { work(); });
}

Batch::~Batch() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        queue_.clear();
    }
    work_ready_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

int Batch::cores() {
    const unsigned count = std::thread::hardware_concurrency();
    return count == 0 ? 1 : static_cast<int>(count);
}

void Batch::submit(DocumentJob job, bool shared, FILE* report_target) {
    auto result = std::make_unique<BatchResult>();
    result->shared = shared;
    result->report_target = report_target;
    result->job = std::move(job);
    BatchResult* r = result.get();
    r->job.output = r->output.file();
    r->job.reports = r->reports.file();
    r->job.errors = shared ? r->reports.file() : r->errors.file();
    r->job.printed = [r] {
        r->printed = true;
        r->reports_at_print = r->reports.size_now();
        r->errors_at_print = r->errors.size_now();
    };
    {
        std::lock_guard<std::mutex> lock(mutex_);
        results_.push_back(std::move(result));
        queue_.push_back(r);
    }
    work_ready_.notify_one();
}

size_t Batch::pending() {
    std::lock_guard<std::mutex> lock(mutex_);
    return results_.size();
}

bool Batch::front_done() {
    std::lock_guard<std::mutex> lock(mutex_);
    return !results_.empty() && results_.front()->done;
}

std::unique_ptr<BatchResult> Batch::take_front() {
    std::unique_lock<std::mutex> lock(mutex_);
    result_ready_.wait(lock, [&] { return results_.empty() || results_.front()->done; });
    if (results_.empty()) return nullptr;
    std::unique_ptr<BatchResult> result = std::move(results_.front());
    results_.pop_front();
    return result;
}

void Batch::work() {
    for (;;) {
        BatchResult* r = nullptr;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            work_ready_.wait(lock, [&] { return stopping_ || !queue_.empty(); });
            if (queue_.empty()) return;
            r = queue_.front();
            queue_.pop_front();
        }
        DocumentOutcome outcome;
        bool fatal = false;
        std::string message;
        try {
            outcome = process_document(r->job);
        } catch (const FatalError& error) {
            fatal = true;
            message = error.message;
        } catch (const std::bad_alloc&) {
            fatal = true;
            message = "Out of memory!";
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            r->outcome = outcome;
            r->fatal = fatal;
            r->fatal_message = std::move(message);
            r->done = true;
        }
        result_ready_.notify_all();
    }
}

} // namespace varnel
