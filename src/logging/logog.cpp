#include "logging/logog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <tuple>

namespace logog {

namespace {

// Everything the framework creates on demand; torn down by ShutdownFramework.
struct FrameworkState {
    void* (*allocate)(size_t) = nullptr;
    void (*deallocate)(void*) = nullptr;
    LockableNodesType* nodeRegistry = nullptr;
    LockableNodesType* filterRegistry = nullptr;
    LockableNodesType* targetRegistry = nullptr;
    FilterDefault* defaultFilter = nullptr;
    Formatter* defaultFormatter = nullptr;
    Timer* timer = nullptr;
    Mutex* messageLock = nullptr;
    Mutex* stringSearchLock = nullptr;
    int initCount = 0;
};

FrameworkState g_state;

// Guards the creation of the singletons above. It is never destroyed, so a call site used
// during static destruction still finds it.
Mutex& StateLock() {
    static Mutex* lock = new Mutex;
    return *lock;
}

template <class T, class Make>
T& CreateOnce(T*& slot, Make make) {
    ScopedLock lock(StateLock());
    if (slot == nullptr) slot = make();
    return *slot;
}

Mutex& GetStringSearchLock() {
    return CreateOnce(g_state.stringSearchLock, [] { return new Mutex; });
}

bool Contains(const String& haystack, const String& needle) {
    ScopedLock lock(GetStringSearchLock());
    return std::strstr(haystack.c_str(), needle.c_str()) != nullptr;
}

}  // namespace

const char* ErrorDescription(LOGOG_LEVEL_TYPE level) {
    if (level <= LOGOG_LEVEL_NONE) return "none";
    if (level <= LOGOG_LEVEL_EMERGENCY) return "emergency";
    if (level <= LOGOG_LEVEL_ALERT) return "alert";
    if (level <= LOGOG_LEVEL_CRITICAL) return "critical";
    if (level <= LOGOG_LEVEL_ERROR) return "error";
    if (level <= LOGOG_LEVEL_WARN) return "warning";
    if (level <= LOGOG_LEVEL_WARN1) return "warning1";
    if (level <= LOGOG_LEVEL_WARN2) return "warning2";
    if (level <= LOGOG_LEVEL_WARN3) return "warning3";
    if (level <= LOGOG_LEVEL_INFO) return "info";
    if (level <= LOGOG_LEVEL_DEBUG) return "debug";
    return "unknown";
}

// Running out of memory inside the logging framework ends the process: there is no
// channel left to report it through.
void* Allocate(size_t size) {
    auto allocate = g_state.allocate ? g_state.allocate : &std::malloc;
    void* memory = allocate(size == 0 ? 1 : size);
    if (memory == nullptr) std::abort();
    return memory;
}

void Deallocate(void* memory) {
    if (memory == nullptr) return;
    auto deallocate = g_state.deallocate ? g_state.deallocate : &std::free;
    deallocate(memory);
}

void* Object::operator new(size_t size) { return Allocate(size); }
void Object::operator delete(void* memory) { Deallocate(memory); }

// ---- String ----

String::String(const char* text) { assign(text); }

String::~String() { Deallocate(m_pBuffer); }

void String::reserve(size_t capacity) {
    if (capacity <= m_nCapacity && m_pBuffer != nullptr) return;
    char* buffer = static_cast<char*>(Allocate(capacity + 1));
    if (m_nLength > 0) std::memcpy(buffer, m_pBuffer, m_nLength);
    buffer[m_nLength] = '\0';
    Deallocate(m_pBuffer);
    m_pBuffer = buffer;
    m_nCapacity = capacity;
}

void String::appendBytes(const char* bytes, size_t count) {
    if (m_pBuffer == nullptr) return;
    size_t room = m_nCapacity - m_nLength;
    if (count > room) count = room;
    std::memcpy(m_pBuffer + m_nLength, bytes, count);
    m_nLength += count;
    m_pBuffer[m_nLength] = '\0';
}

void String::append(char c) { appendBytes(&c, 1); }

void String::append(const char* text) {
    if (text != nullptr) appendBytes(text, std::strlen(text));
}

void String::append(const String& other) { appendBytes(other.c_str(), other.size()); }

// A record cut at the buffer's end must still end its line: otherwise the next record runs on
// in the same line, and a log can no longer be read line by line.
void String::appendLine(const String& text, bool nullTerminated) {
    const size_t ending = nullTerminated ? 3 : 2;
    const size_t room = m_nCapacity - m_nLength > ending ? m_nCapacity - m_nLength - ending : 0;
    size_t count = text.size();
    if (count > room) {
        count = room;
        while (count > 0 && (static_cast<unsigned char>(text.c_str()[count]) & 0xC0) == 0x80) --count;
    }
    appendBytes(text.c_str(), count);
    append("\r\n");
}

void String::assign(const char* text) {
    size_t length = text ? std::strlen(text) : 0;
    m_nLength = 0;
    reserve(length);
    appendBytes(text ? text : "", length);
}

void String::assign(LOGOG_LEVEL_TYPE value) {
    char digits[32];
    std::snprintf(digits, sizeof digits, "%d", value);
    clear();
    if (m_pBuffer == nullptr) reserve(sizeof digits);
    append(digits);
}

void String::format_va(const char* format, va_list args) {
    size_t formatLength = format ? std::strlen(format) : 0;
    if (formatLength == 0) {
        assign("");
        return;
    }
    size_t size = formatLength * 2;
    for (;;) {
        char* buffer = static_cast<char*>(Allocate(size + 1));
        va_list copy;
        va_copy(copy, args);
        int written = std::vsnprintf(buffer, size + 1, format, copy);
        va_end(copy);
        if (written < 0) {
            // An argument that cannot be rendered: an empty text rather than a retry loop.
            buffer[0] = '\0';
            written = 0;
        }
        if (static_cast<size_t>(written) <= size) {
            Deallocate(m_pBuffer);
            m_pBuffer = buffer;
            m_nCapacity = size;
            m_nLength = static_cast<size_t>(written);
            return;
        }
        Deallocate(buffer);
        size *= 2;
    }
}

// ---- Node ----

Node::Node() {
    LockableNodesType& registry = GetNodeRegistry();
    ScopedLock lock(registry);
    registry.insert(this);
}

// Unlinks from every peer so that no set keeps a pointer to a deleted node, whatever the
// order in which nodes are destroyed.
Node::~Node() {
    UnlinkFromPeers();
    if (LockableNodesType* registry = g_state.nodeRegistry) {
        ScopedLock lock(*registry);
        registry->erase(this);
    }
}

// Removing this node from a publisher takes the publisher's subscriber lock, which a
// delivery holds for its whole pass: a delivery under way finishes first.
void Node::UnlinkFromPeers() {
    NodeSet subscribers;
    {
        ScopedLock lock(m_SubscribersMutex);
        subscribers = m_Subscribers;
    }
    for (Node* subscriber : subscribers) Node::RemoveSubscriber(*subscriber);
    NodeSet publishers;
    {
        ScopedLock lock(m_PublishersMutex);
        publishers = m_Publishers;
    }
    for (Node* publisher : publishers) Node::RemovePublisher(*publisher);
}

bool Node::AcceptsPublisher(const Node&) const { return IsSubscriber(); }

bool Node::AddSubscriber(Node& subscriber) {
    if (subscriber.IsTopic() && !subscriber.AcceptsPublisher(*this)) return false;
    bool inserted;
    {
        ScopedLock lock(m_SubscribersMutex);
        inserted = m_Subscribers.insert(&subscriber).second;
    }
    if (inserted) subscriber.AddPublisher(*this);
    return inserted;
}

bool Node::AddPublisher(Node& publisher) {
    bool inserted;
    {
        ScopedLock lock(m_PublishersMutex);
        inserted = m_Publishers.insert(&publisher).second;
    }
    if (inserted) publisher.AddSubscriber(*this);
    return inserted;
}

bool Node::RemoveSubscriber(Node& subscriber) {
    bool erased;
    {
        ScopedLock lock(m_SubscribersMutex);
        erased = m_Subscribers.erase(&subscriber) > 0;
    }
    if (erased) subscriber.RemovePublisher(*this);
    return erased;
}

bool Node::RemovePublisher(Node& publisher) {
    bool erased;
    {
        ScopedLock lock(m_PublishersMutex);
        erased = m_Publishers.erase(&publisher) > 0;
    }
    if (erased) publisher.RemoveSubscriber(*this);
    return erased;
}

namespace {
template <class Operation>
bool ForEachInRegistry(LockableNodesType& nodes, Operation operation) {
    ScopedLock lock(nodes);
    bool any = false;
    for (Node* node : nodes) any = operation(*node) || any;
    return any;
}
}  // namespace

bool Node::AddSubscribers(LockableNodesType& nodes) {
    return ForEachInRegistry(nodes, [this](Node& node) { return AddSubscriber(node); });
}
bool Node::RemoveSubscribers(LockableNodesType& nodes) {
    return ForEachInRegistry(nodes, [this](Node& node) { return RemoveSubscriber(node); });
}
bool Node::AddPublishers(LockableNodesType& nodes) {
    return ForEachInRegistry(nodes, [this](Node& node) { return AddPublisher(node); });
}
bool Node::RemovePublishers(LockableNodesType& nodes) {
    return ForEachInRegistry(nodes, [this](Node& node) { return RemovePublisher(node); });
}

size_t Node::SubscriberCount() {
    ScopedLock lock(m_SubscribersMutex);
    return m_Subscribers.size();
}

size_t Node::PublisherCount() {
    ScopedLock lock(m_PublishersMutex);
    return m_Publishers.size();
}

// ---- Topic ----

Topic::Topic(LOGOG_LEVEL_TYPE level, const char* sFileName, int nLineNumber, const char* sGroup,
             const char* sCategory, const char* sMessage, double dTimestamp)
    : m_Level(level), m_LineNumber(nLineNumber), m_Timestamp(dTimestamp) {
    m_FileName.assign(sFileName);
    m_Group.assign(sGroup);
    m_Category.assign(sCategory);
    m_Text.assign(sMessage);
    if (level != LOGOG_LEVEL_ALL) m_TopicFlags |= TOPIC_LEVEL_FLAG;
    if (nLineNumber != 0) m_TopicFlags |= TOPIC_LINE_NUMBER_FLAG;
    if (sFileName != nullptr) m_TopicFlags |= TOPIC_FILE_NAME_FLAG;
    if (sGroup != nullptr) m_TopicFlags |= TOPIC_GROUP_FLAG;
    if (sCategory != nullptr) m_TopicFlags |= TOPIC_CATEGORY_FLAG;
    if (sMessage != nullptr) m_TopicFlags |= TOPIC_MESSAGE_FLAG;
    if (dTimestamp != 0.0) m_TopicFlags |= TOPIC_TIMESTAMP_FLAG;
}

bool Topic::AcceptsPublisher(const Node& publisher) const {
    return IsSubscriber() && publisher.IsTopic() && Matches(static_cast<const Topic&>(publisher));
}

int Topic::Deliver(Topic& topic) {
    ScopedLock lock(m_SubscribersMutex);
    int sum = 0;
    for (Node* subscriber : m_Subscribers) {
        if (subscriber->IsTopic()) sum += static_cast<Topic*>(subscriber)->Receive(topic);
    }
    return sum;
}

int Topic::Publish() { return Deliver(*this); }

int Topic::Receive(Topic& topic) { return Deliver(topic); }

bool Topic::Matches(const Topic& other) const {
    if ((m_TopicFlags & TOPIC_LEVEL_FLAG) && other.m_Level > m_Level) return false;
    if ((m_TopicFlags & TOPIC_GROUP_FLAG) && !Contains(other.m_Group, m_Group)) return false;
    if ((m_TopicFlags & TOPIC_CATEGORY_FLAG) && !Contains(other.m_Category, m_Category)) return false;
    if ((m_TopicFlags & TOPIC_FILE_NAME_FLAG) && !Contains(other.m_FileName, m_FileName)) return false;
    if ((m_TopicFlags & TOPIC_LINE_NUMBER_FLAG) && other.m_LineNumber != m_LineNumber) return false;
    if ((m_TopicFlags & TOPIC_MESSAGE_FLAG) && !Contains(other.m_Text, m_Text)) return false;
    if ((m_TopicFlags & TOPIC_TIMESTAMP_FLAG) && other.m_Timestamp < m_Timestamp) return false;
    return true;
}

void Topic::SetText(const char* format, ...) {
    va_list args;
    va_start(args, format);
    SetTextV(format, args);
    va_end(args);
}

void Topic::SetTextV(const char* format, va_list args) {
    m_Text.format_va(format, args);
    m_TopicFlags |= TOPIC_MESSAGE_FLAG;
}

int Checkpoint::Deliver(Topic& topic) {
    if (m_TopicFlags & TOPIC_TIMESTAMP_FLAG) m_Timestamp = GetGlobalTimer().Get();
    return TopicSource::Deliver(topic);
}

Message::Message(LOGOG_LEVEL_TYPE level, const char* sFileName, int nLineNumber, const char* sGroup,
                 const char* sCategory, const char* sMessage, double dTimestamp, bool* pbIsCreated)
    : Checkpoint(level, sFileName, nLineNumber, sGroup, sCategory, sMessage, dTimestamp),
      m_pbIsCreated(pbIsCreated) {
    if (m_pbIsCreated) *m_pbIsCreated = true;
    AddSubscribers(GetFilterRegistry());
}

Message::~Message() {
    if (m_pbIsCreated) *m_pbIsCreated = false;
}

// ---- Target ----

Target::Target() : m_pFormatter(&GetDefaultFormatter()) {
    {
        LockableNodesType& targets = GetTargetRegistry();
        ScopedLock lock(targets);
        targets.insert(this);
    }
    AddPublishers(GetFilterRegistry());
}

Target::~Target() { Detach(); }

// Leaves the target registry first, so that no new filter links to it, then every filter.
void Target::Detach() {
    if (LockableNodesType* targets = g_state.targetRegistry) {
        ScopedLock lock(*targets);
        targets->erase(this);
    }
    UnlinkFromPeers();
}

int Target::OutputUnderLock(const String& data) {
    ScopedLock lock(m_OutputMutex);
    return Output(data);
}

int Target::Receive(Topic& topic) {
    ScopedLock lock(m_OutputMutex);
    return Output(m_pFormatter->FormatTopic(topic, *this));
}

// ---- Filters ----

Filter::Filter(LOGOG_LEVEL_TYPE level) : Topic(level) {
    AddSubscribers(GetTargetRegistry());
    LockableNodesType& filters = GetFilterRegistry();
    ScopedLock lock(filters);
    filters.insert(this);
}

Filter::~Filter() {
    if (LockableNodesType* filters = g_state.filterRegistry) {
        ScopedLock lock(*filters);
        filters->erase(this);
    }
}

FilterDefault::FilterDefault(LOGOG_LEVEL_TYPE level) : Filter(level) { m_TopicFlags &= ~TOPIC_LEVEL_FLAG; }

int FilterDefault::Receive(Topic& topic) {
    if (topic.Level() > m_Level) return 0;
    return Deliver(topic);
}

void FilterDefault::SetDefaultLevel(LOGOG_LEVEL_TYPE level) {
    m_Level = level;
    m_TopicFlags &= ~TOPIC_LEVEL_FLAG;
}

// ---- Time ----

const char* TimeStamp::Get(const char* format) {
    m_Buffer[0] = '\0';
    std::time_t now = std::time(nullptr);
    if (const std::tm* local = std::localtime(&now)) {
        if (std::strftime(m_Buffer, sizeof m_Buffer, format, local) == 0) m_Buffer[0] = '\0';
    }
    return m_Buffer;
}


// ---- Formatters ----

Formatter::Formatter() {
    m_sMessageBuffer.reserve(LINE_CAPACITY);
    m_sIntBuffer.reserve(64);
    m_TimeOfDayFormat.assign("%c");
}

void Formatter::AppendTimeOfDay() {
    if (!m_bShowTimeOfDay) return;
    TimeStamp stamp;
    m_sMessageBuffer.append(stamp.Get(m_TimeOfDayFormat.c_str()));
    m_sMessageBuffer.append(": ");
}

String& FormatterMSVC::FormatTopic(Topic& topic, const Target& target) {
    m_sMessageBuffer.clear();
    int flags = FieldsToShow(topic);
    if (flags & TOPIC_FILE_NAME_FLAG) {
        m_sMessageBuffer.append(topic.FileName());
        m_sMessageBuffer.append('(');
    }
    if (flags & TOPIC_LINE_NUMBER_FLAG) {
        m_sIntBuffer.assign(topic.LineNumber());
        m_sMessageBuffer.append(m_sIntBuffer);
        m_sMessageBuffer.append(") : ");
    }
    AppendTimeOfDay();
    if (flags & TOPIC_LEVEL_FLAG) {
        m_sMessageBuffer.append(ErrorDescription(topic.Level()));
        m_sMessageBuffer.append(": ");
    }
    if (flags & TOPIC_GROUP_FLAG) {
        m_sMessageBuffer.append('{');
        m_sMessageBuffer.append(topic.Group());
        m_sMessageBuffer.append("} ");
    }
    if (flags & TOPIC_CATEGORY_FLAG) {
        m_sMessageBuffer.append('[');
        m_sMessageBuffer.append(topic.Category());
        m_sMessageBuffer.append("] ");
    }
    if (flags & TOPIC_MESSAGE_FLAG) m_sMessageBuffer.appendLine(topic.Text(), target.NullTerminates());
    if (target.NullTerminates()) m_sMessageBuffer.append('\0');
    return m_sMessageBuffer;
}

// ---- Framework singletons and lifetime ----

LockableNodesType& GetNodeRegistry() {
    return CreateOnce(g_state.nodeRegistry, [] { return new LockableNodesType; });
}
LockableNodesType& GetFilterRegistry() {
    return CreateOnce(g_state.filterRegistry, [] { return new LockableNodesType; });
}
LockableNodesType& GetTargetRegistry() {
    return CreateOnce(g_state.targetRegistry, [] { return new LockableNodesType; });
}
FilterDefault& GetDefaultFilter() {
    return CreateOnce(g_state.defaultFilter, [] { return new FilterDefault(LOGOG_LEVEL_DEBUG); });
}
Formatter& GetDefaultFormatter() {
    return CreateOnce(g_state.defaultFormatter, []() -> Formatter* { return new FormatterMSVC; });
}
Mutex& GetMessageLock() {
    return CreateOnce(g_state.messageLock, [] { return new Mutex; });
}
Timer& GetGlobalTimer() {
    return CreateOnce(g_state.timer, [] { return new Timer; });
}

void SetDefaultLevel(LOGOG_LEVEL_TYPE level) { GetDefaultFilter().SetDefaultLevel(level); }

void InitializeFramework(const INIT_PARAMS* params) {
    ScopedLock lock(StateLock());
    if (g_state.initCount++ > 0) return;
    if (params != nullptr && params->m_pfMalloc != nullptr) {
        g_state.allocate = params->m_pfMalloc;
        g_state.deallocate = params->m_pfFree;
    } else {
        g_state.allocate = &std::malloc;
        g_state.deallocate = &std::free;
    }
    GetDefaultFilter();
}

void ShutdownFramework() {
    ScopedLock lock(StateLock());
    if (g_state.initCount == 0 || --g_state.initCount > 0) return;

    delete g_state.timer;
    g_state.timer = nullptr;
    delete g_state.defaultFormatter;
    g_state.defaultFormatter = nullptr;
    g_state.defaultFilter = nullptr;  // deleted with the other nodes below

    delete g_state.filterRegistry;
    g_state.filterRegistry = nullptr;
    delete g_state.targetRegistry;
    g_state.targetRegistry = nullptr;

    if (LockableNodesType* nodes = g_state.nodeRegistry) {
        NodeSet all;
        {
            ScopedLock nodesLock(*nodes);
            all = *nodes;
        }
        for (Node* node : all) delete node;
        nodes->clear();
        delete nodes;
        g_state.nodeRegistry = nullptr;
    }

    delete g_state.stringSearchLock;
    g_state.stringSearchLock = nullptr;
    delete g_state.messageLock;
    g_state.messageLock = nullptr;
    g_state.allocate = nullptr;
    g_state.deallocate = nullptr;
}

void LogAtSite(MessageSite& site, LOGOG_LEVEL_TYPE level, const char* file, int line, const char* format, ...) {
    Message* message;
    {
        ScopedLock lock(GetMessageLock());
        if (!site.created) site.message = new Message(level, file, line, nullptr, nullptr, "", 0.0, &site.created);
        message = site.message;
    }
    ScopedLock lock(message->MessageMutex());
    va_list args;
    va_start(args, format);
    message->SetTextV(format, args);
    va_end(args);
    message->Publish();
}

void LogRelayedLine(LOGOG_LEVEL_TYPE level, const char* file, int line, const char* text) {
    constexpr std::size_t kMostRelayedSites = 512;
    using SiteKey = std::tuple<LOGOG_LEVEL_TYPE, std::string, int>;
    // Never destroyed: a record deleted by ShutdownFramework during static destruction still
    // clears its site's flag here. Map nodes stay where they are, and so do their file names.
    static auto* sites = new std::map<SiteKey, MessageSite>;
    std::map<SiteKey, MessageSite>::iterator found;
    {
        ScopedLock lock(GetMessageLock());
        SiteKey key{level, file, line};
        found = sites->find(key);
        if (found == sites->end())
            found = sites->size() < kMostRelayedSites ? sites->try_emplace(std::move(key)).first
                                                      : sites->try_emplace(SiteKey{level, "relayed", 0}).first;
    }
    const auto& [siteLevel, siteFile, siteLine] = found->first;
    LogAtSite(found->second, siteLevel, siteFile.c_str(), siteLine, "%s", text);
}

}  // namespace logog
