// The reference-counted string object with printf-style creation.
#pragma once
#include <cstdarg>
#include <string>

#include "kite/foundation/Clonable.h"
#include "kite/foundation/Ref.h"

namespace kite {

class __String;

// One operation per visitable object kind.
class DataVisitor {
public:
    virtual ~DataVisitor() = default;
    virtual void visit(const __String* value) = 0;
};

class __String : public Ref, public Clonable {
public:
    __String() = default;
    explicit __String(const std::string& text) : text_(text) {}
    ~__String() override = default;

    static __String* create(const std::string& text);
    // The text is cut at StringUtils::kFormatBufferSize - 1 bytes.
    static __String* createWithFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

    bool initWithFormatAndValist(const char* format, va_list args) __attribute__((format(printf, 2, 0)));
    bool init(const std::string& text);

    virtual bool isEqual(const Ref* object);
    virtual void acceptVisitor(DataVisitor& visitor);
    __String* clone() const override;

    const char* getCString() const { return text_.c_str(); }
    const std::string& getString() const { return text_; }
    std::size_t length() const { return text_.size(); }
    int compare(const char* text) const { return text_.compare(text ? text : ""); }
    void append(const std::string& text) { text_ += text; }

    // Number readings of the text (atoi, kite::atof; "0" and "false" are false).
    int intValue() const;
    float floatValue() const;
    double doubleValue() const;
    bool boolValue() const;

private:
    std::string text_;
};

}  // namespace kite
