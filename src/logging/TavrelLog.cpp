#include "logging/TavrelLog.h"

#include <cstring>
#include <ctime>

namespace zendal::TavrelUtil {

namespace {

// Keeps the whole name when the separator is its last character.
const char* LastPathComponent(const char* fileName) {
    const char* backslash = std::strrchr(fileName, '\\');
    const char* slash = std::strrchr(fileName, '/');
    const char* separator = backslash > slash ? backslash : slash;
    if (separator == nullptr || separator[1] == '\0') return fileName;
    return separator + 1;
}

}  // namespace

logog::String& CFormatterCustom::FormatTopic(logog::Topic& topic, const logog::Target& target) {
    m_sMessageBuffer.clear();
    if (m_bShowTimeOfDay) {
        std::time_t now = std::time(nullptr);
        char stamp[32];
        if (const std::tm* local = std::localtime(&now);
            local != nullptr && std::strftime(stamp, sizeof stamp, "%d/%m/%y %H:%M:%S", local) > 0) {
            m_sMessageBuffer.append(stamp);
            m_sMessageBuffer.append(": ");
        }
    }
    int flags = FieldsToShow(topic);
    if (flags & logog::TOPIC_FILE_NAME_FLAG) {
        m_sMessageBuffer.append(LastPathComponent(topic.FileName().c_str()));
        m_sMessageBuffer.append('(');
    }
    if (flags & logog::TOPIC_LINE_NUMBER_FLAG) {
        m_sIntBuffer.assign(topic.LineNumber());
        m_sMessageBuffer.append(m_sIntBuffer);
        m_sMessageBuffer.append("): ");
    }
    if (flags & logog::TOPIC_LEVEL_FLAG) {
        m_sMessageBuffer.append(logog::ErrorDescription(topic.Level()));
        m_sMessageBuffer.append(": ");
    }
    if (flags & logog::TOPIC_GROUP_FLAG) {
        m_sMessageBuffer.append('{');
        m_sMessageBuffer.append(topic.Group());
        m_sMessageBuffer.append("} ");
    }
    if (flags & logog::TOPIC_CATEGORY_FLAG) {
        m_sMessageBuffer.append('[');
        m_sMessageBuffer.append(topic.Category());
        m_sMessageBuffer.append("] ");
    }
    if (flags & logog::TOPIC_MESSAGE_FLAG) m_sMessageBuffer.appendLine(topic.Text(), target.NullTerminates());
    if (target.NullTerminates()) m_sMessageBuffer.append('\0');
    return m_sMessageBuffer;
}

}  // namespace zendal::TavrelUtil

std::wstring LogFilePathForModule(const std::wstring& modulePath) {
    size_t dot = modulePath.rfind(L'.');
    return modulePath.substr(0, dot) + L".log";
}
