// Documents processed on several threads (-j), with their results written
// in the order of the argument list, exactly as one after another would
// write them: each document's output, reports and messages are kept in
// memory until every document before it has been written.
//
// Style classes are numbered on through the run ("c1", "c2", ...), so a
// document that makes classes waits, before its first, for the documents
// before it to settle their numbers (ClassNumbering); parsing and printing,
// the bulk of the work, still run at once.
#pragma once

#include <condition_variable>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "api/pipeline.h"

namespace varnel {

// The style class numbers of the documents of a run, in order.
class ClassNumbering {
  public:
    // Takes the next document's place.
    size_t add();
    // The first class number of the document at `place`: the number after
    // the last class of the documents before it (1 when none made one).
    // Waits until all of them have settled.
    int first_for(size_t place);
    // The document at `place` makes no more classes; `next` is the number
    // after its last one (0 when it made none).
    void settle(size_t place, int next);

  private:
    std::mutex mutex_;
    std::condition_variable settled_;
    std::vector<int> next_; // per place: -1 until settled
    size_t resolved_ = 0;   // places settled, counted from the first
    int current_ = 1;       // the number after the resolved places
};

// A stream that collects what is written to it in memory.
class MemoryFile {
  public:
    MemoryFile();
    ~MemoryFile();
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;

    FILE* file() const { return file_; }
    // The number of bytes written so far (flushes).
    size_t size_now();
    // Closes the stream; the text stays.
    void close();
    std::string_view text() const { return std::string_view(buffer_, size_); }

  private:
    FILE* file_ = nullptr;
    char* buffer_ = nullptr;
    size_t size_ = 0;
};

// One document of the batch and, once done, what it wrote.
struct BatchResult {
    DocumentJob job;
    // The reports and the messages about files go to one stream (the report
    // stream is standard error): `reports` holds both.
    bool shared = false;
    // Where the reports are to be written (the error file, or standard
    // error).
    FILE* report_target = nullptr;
    MemoryFile output;
    MemoryFile reports;
    MemoryFile errors;
    // Where the two report streams stood when the document was printed.
    bool printed = false;
    size_t reports_at_print = 0;
    size_t errors_at_print = 0;
    DocumentOutcome outcome;
    bool fatal = false;
    std::string fatal_message;
    bool done = false; // guarded by the batch

    void close();
};

class Batch {
  public:
    explicit Batch(int threads);
    // Drops the documents not started and waits for the others.
    ~Batch();
    Batch(const Batch&) = delete;
    Batch& operator=(const Batch&) = delete;

    // The number of cores (at least 1).
    static int cores();
    int threads() const { return static_cast<int>(workers_.size()); }

    // Hands over a document; its result stays with the batch until taken.
    void submit(DocumentJob job, bool shared, FILE* report_target);
    // Documents handed over and not yet taken.
    size_t pending();
    // True when the first document not yet taken is done.
    bool front_done();
    // Takes the first document not yet taken, once it is done.
    std::unique_ptr<BatchResult> take_front();

  private:
    void work();

    std::mutex mutex_;
    std::condition_variable work_ready_;
    std::condition_variable result_ready_;
    std::deque<std::unique_ptr<BatchResult>> results_; // in order of submission
    std::deque<BatchResult*> queue_;                   // not started yet
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

} // namespace varnel
