// A small publish/subscribe logging framework.
//
// Every call site owns one Message (a topic) created on first use. Messages publish to
// filters, filters relay what passes to targets, and a target formats the topic with its
// formatter and writes the text out. Linking, delivery and output are guarded by locks.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <functional>
#include <set>


// MinGW builds use the C99 printf family (__USE_MINGW_ANSI_STDIO), hence gnu_printf.
#if defined(__MINGW32__)
#define LOGOG_PRINTF(fmt, args) __attribute__((format(gnu_printf, fmt, args)))
#elif defined(__GNUC__)
#define LOGOG_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define LOGOG_PRINTF(fmt, args)
#endif

namespace logog {

using LOGOG_LEVEL_TYPE = int;

constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_NONE = 0;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_EMERGENCY = 8;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_ALERT = 16;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_CRITICAL = 24;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_ERROR = 32;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_WARN = 40;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_WARN1 = 48;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_WARN2 = 56;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_WARN3 = 64;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_INFO = 72;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_DEBUG = 80;
constexpr LOGOG_LEVEL_TYPE LOGOG_LEVEL_ALL = 88;

// Name of a level, chosen by range: 70 is "info", 33 "warning", above 80 "unknown".
const char* ErrorDescription(LOGOG_LEVEL_TYPE level);

// Field bits of a topic.
enum TopicField : int {
    TOPIC_LEVEL_FLAG = 1,
    TOPIC_LINE_NUMBER_FLAG = 2,
    TOPIC_FILE_NAME_FLAG = 4,
    TOPIC_GROUP_FLAG = 8,
    TOPIC_CATEGORY_FLAG = 16,
    TOPIC_MESSAGE_FLAG = 32,
    TOPIC_TIMESTAMP_FLAG = 64,
};

// Memory comes from these functions; null means malloc and free.
struct INIT_PARAMS {
    void* (*m_pfMalloc)(size_t) = nullptr;
    void (*m_pfFree)(void*) = nullptr;
};

void* Allocate(size_t size);
void Deallocate(void* memory);

// Counted: only the first call installs the allocator and creates the default filter.
void InitializeFramework(const INIT_PARAMS* params = nullptr);
// At count zero: deletes every node, registry, singleton and lock the framework made.
void ShutdownFramework();

class Object {
public:
    virtual ~Object() = default;
    static void* operator new(size_t size);
    static void operator delete(void* memory);
};

class Mutex : public Object {
public:
    Mutex();
    ~Mutex() override;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void MutexLock();
    void MutexUnlock();

private:
    // The platform's recursive lock, made in place by logog_platform(_win).cpp: a critical
    // section on Windows, a recursive mutex elsewhere.
    alignas(std::max_align_t) unsigned char m_Lock[64];
};

class ScopedLock : public Object {
public:
    explicit ScopedLock(Mutex& mutex) : m_pMutex(&mutex) { m_pMutex->MutexLock(); }
    ~ScopedLock() override { m_pMutex->MutexUnlock(); }
    ScopedLock(const ScopedLock&) = delete;
    ScopedLock& operator=(const ScopedLock&) = delete;

private:
    Mutex* m_pMutex;
};

// Standard allocator over the framework's allocate and free functions.
template <class T>
struct Allocator {
    using value_type = T;
    Allocator() = default;
    template <class U>
    Allocator(const Allocator<U>&) {}
    T* allocate(size_t n) { return static_cast<T*>(Allocate(n * sizeof(T))); }
    void deallocate(T* p, size_t) { Deallocate(p); }
    template <class U>
    bool operator==(const Allocator<U>&) const { return true; }
};

class Node;
using NodeSet = std::set<Node*, std::less<Node*>, Allocator<Node*>>;

// An ordered set of nodes with its lock; the three registries are of this type.
class LockableNodesType : public NodeSet, public Mutex {};

// Narrow text buffer. Appends copy only while capacity remains: they never grow it.
class String : public Object {
public:
    String() = default;
    explicit String(const char* text);
    ~String() override;
    String(const String&) = delete;
    String& operator=(const String&) = delete;

    void clear() { m_nLength = 0; }
    void reserve(size_t capacity);
    size_t size() const { return m_nLength; }
    size_t capacity() const { return m_nCapacity; }
    bool empty() const { return m_nLength == 0; }
    const char* c_str() const { return m_pBuffer ? m_pBuffer : ""; }
    const char* data() const { return c_str(); }

    void append(char c);
    void append(const char* text);
    void append(const String& other);
    // Appends the message text and its "\r\n", cutting the text where needed so that the line
    // end, and the zero byte when one is asked for, still fit; never inside a UTF-8 sequence.
    void appendLine(const String& text, bool nullTerminated);
    void assign(const char* text);
    void assign(LOGOG_LEVEL_TYPE value);  // decimal, "-" for negatives
    // printf-style; a format that does not fit is retried with twice the buffer.
    void format_va(const char* format, va_list args);

private:
    void appendBytes(const char* bytes, size_t count);

    char* m_pBuffer = nullptr;
    size_t m_nLength = 0;
    size_t m_nCapacity = 0;  // excluding the terminating zero kept behind the text
};

class Node : public Object {
public:
    Node();
    ~Node() override;
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    virtual bool IsPublisher() const { return true; }
    virtual bool IsSubscriber() const { return true; }
    virtual bool AcceptsPublisher(const Node& publisher) const;
    virtual bool IsTopic() const { return false; }
    virtual bool AddSubscriber(Node& subscriber);
    virtual bool AddSubscribers(LockableNodesType& nodes);
    virtual bool RemoveSubscriber(Node& subscriber);
    virtual bool RemoveSubscribers(LockableNodesType& nodes);
    virtual bool AddPublisher(Node& publisher);
    virtual bool AddPublishers(LockableNodesType& nodes);
    virtual bool RemovePublisher(Node& publisher);
    virtual bool RemovePublishers(LockableNodesType& nodes);

    size_t SubscriberCount();
    size_t PublisherCount();

protected:
    // Takes this node out of every peer's sets; once it returns, no delivery through a former
    // publisher is still running into this node.
    void UnlinkFromPeers();

    NodeSet m_Subscribers;
    Mutex m_SubscribersMutex;
    NodeSet m_Publishers;
    Mutex m_PublishersMutex;
};

class Target;

class Topic : public Node {
public:
    explicit Topic(LOGOG_LEVEL_TYPE level = LOGOG_LEVEL_ALL, const char* sFileName = nullptr, int nLineNumber = 0,
                   const char* sGroup = nullptr, const char* sCategory = nullptr, const char* sMessage = nullptr,
                   double dTimestamp = 0.0);

    bool IsTopic() const override { return true; }
    bool AcceptsPublisher(const Node& publisher) const override;

    virtual int Deliver(Topic& topic);
    virtual int Publish();
    virtual int Receive(Topic& topic);
    virtual bool Matches(const Topic& other) const;
    virtual void SetText(const char* format, ...) LOGOG_PRINTF(2, 3);
    void SetTextV(const char* format, va_list args);

    int GetTopicFlags() const { return m_TopicFlags; }
    LOGOG_LEVEL_TYPE Level() const { return m_Level; }
    int LineNumber() const { return m_LineNumber; }
    const String& FileName() const { return m_FileName; }
    const String& Group() const { return m_Group; }
    const String& Category() const { return m_Category; }
    const String& Text() const { return m_Text; }
    double Timestamp() const { return m_Timestamp; }

protected:
    String m_FileName;
    String m_Group;
    String m_Category;
    String m_Text;
    LOGOG_LEVEL_TYPE m_Level;
    int m_LineNumber;
    double m_Timestamp;
    int m_TopicFlags = 0;
};

// Publishes only.
class TopicSource : public Topic {
public:
    using Topic::Topic;
    bool IsSubscriber() const override { return false; }
    bool AddPublisher(Node&) override { return false; }
    bool RemovePublisher(Node&) override { return false; }
};

// Stamps the time on delivery when the topic's timestamp field is set.
class Checkpoint : public TopicSource {
public:
    using TopicSource::TopicSource;
    int Deliver(Topic& topic) override;
};

// The record of one call site. Creating it sets the site's flag; destroying it clears the
// flag again, so a site used after ShutdownFramework makes a new record.
class Message : public Checkpoint {
public:
    Message(LOGOG_LEVEL_TYPE level, const char* sFileName, int nLineNumber, const char* sGroup,
            const char* sCategory, const char* sMessage, double dTimestamp, bool* pbIsCreated);
    ~Message() override;
    Mutex& MessageMutex() { return m_MessageMutex; }

private:
    Mutex m_MessageMutex;
    bool* m_pbIsCreated;
};

// Subscribes only.
class TopicSink : public Topic {
public:
    using Topic::Topic;
    bool IsPublisher() const override { return false; }
    bool AddSubscriber(Node&) override { return false; }
    bool RemoveSubscriber(Node&) override { return false; }
};

class Formatter;

class Target : public TopicSink {
public:
    Target();
    ~Target() override;
    void SetFormatter(Formatter& formatter) { m_pFormatter = &formatter; }
    Formatter& GetFormatter() const { return *m_pFormatter; }
    bool NullTerminates() const { return m_bNullTerminates; }
    int Receive(Topic& topic) override;
    virtual int Output(const String& data) = 0;
    // Output outside a delivery, serialised with deliveries.
    int OutputUnderLock(const String& data);

protected:
    // Leaves the graph and the target registry: no new delivery reaches the target. A derived
    // target calls it before it releases what Output uses; the base destructor calls it too.
    void Detach();

    Formatter* m_pFormatter;
    Mutex m_OutputMutex;
    bool m_bNullTerminates = true;
};

class Filter : public Topic {
public:
    explicit Filter(LOGOG_LEVEL_TYPE level = LOGOG_LEVEL_ALL);
    ~Filter() override;
};

// Passes every topic whose level is not above its own; the level never limits linking.
class FilterDefault : public Filter {
public:
    explicit FilterDefault(LOGOG_LEVEL_TYPE level = LOGOG_LEVEL_DEBUG);
    int Receive(Topic& topic) override;
    void SetDefaultLevel(LOGOG_LEVEL_TYPE level);
};

class TimeStamp : public Object {
public:
    // Local time rendered with strftime; empty when the local time is not available.
    const char* Get(const char* format);

private:
    char m_Buffer[256] = {};
};

// Seconds since the timer was created, from the performance counter.
class Timer : public Object {
public:
    Timer();
    double Get() const;

private:
    double m_Frequency = 1.0;
    long long m_Start = 0;
};

class Formatter : public Object {
public:
    Formatter();
    virtual String& FormatTopic(Topic& topic, const Target& target) = 0;
    virtual void AppendTimeOfDay();
    virtual int FieldsToShow(const Topic& topic) const { return topic.GetTopicFlags(); }
    void SetTimeOfDayShown(bool shown) { m_bShowTimeOfDay = shown; }
    void SetTimeOfDayFormat(const char* format) { m_TimeOfDayFormat.assign(format); }

    static constexpr size_t LINE_CAPACITY = 65536;

protected:
    String m_sMessageBuffer;
    String m_sIntBuffer;
    bool m_bShowTimeOfDay = false;
    String m_TimeOfDayFormat;
};

// The framework's default layout: "file(line) : time: level: {group} [category] text\r\n".
class FormatterMSVC : public Formatter {
public:
    String& FormatTopic(Topic& topic, const Target& target) override;
};

void SetDefaultLevel(LOGOG_LEVEL_TYPE level);
FilterDefault& GetDefaultFilter();
Formatter& GetDefaultFormatter();
Mutex& GetMessageLock();
Timer& GetGlobalTimer();
LockableNodesType& GetNodeRegistry();
LockableNodesType& GetFilterRegistry();
LockableNodesType& GetTargetRegistry();

// The two statics of one call site.
struct MessageSite {
    Message* message = nullptr;
    bool created = false;
};

// What every log call site does: create its record once under the global lock, then set the
// text and publish it under the record's own lock.
void LogAtSite(MessageSite& site, LOGOG_LEVEL_TYPE level, const char* file, int line, const char* format, ...)
    LOGOG_PRINTF(5, 6);

// A line that another process of this program logged (the one that draws pages opens no log
// of its own), written as if from its call site there: that file name, line number and
// level. Each such site gets a record of its own, up to a bound; past it, further sites of a
// level share one, so a child that sends endless sites cannot make the log grow records.
void LogRelayedLine(LOGOG_LEVEL_TYPE level, const char* file, int line, const char* text);

}  // namespace logog

#define LOGOG_AT_LEVEL(level, ...)                                                  \
    do {                                                                            \
        static ::logog::MessageSite logogSite_;                                     \
        ::logog::LogAtSite(logogSite_, (level), __FILE__, __LINE__, __VA_ARGS__);   \
    } while (0)

#define LOGOG_ERROR(...) LOGOG_AT_LEVEL(::logog::LOGOG_LEVEL_ERROR, __VA_ARGS__)
#define LOGOG_INFO(...) LOGOG_AT_LEVEL(::logog::LOGOG_LEVEL_INFO, __VA_ARGS__)
#define LOGOG_DEBUG(...) LOGOG_AT_LEVEL(::logog::LOGOG_LEVEL_DEBUG, __VA_ARGS__)
