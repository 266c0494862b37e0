#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kelvalog {

class TDispatch;
using TDispatchRef = std::shared_ptr<TDispatch>;

// A value passed to or returned from a late-bound call: empty, 32-bit
// integer, text, boolean, floating point or an object reference.
using TVariant =
    std::variant<std::monostate, std::int32_t, std::string, bool, double, TDispatchRef>;

// Every failed automation call: unknown object, unknown member, wrong
// arguments, a server that went away. The text is for diagnostics only.
class EAutomationError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// How a member is invoked. A get without arguments may be answered by a
// method or a property, hence the combined kind.
enum class TInvokeKind : unsigned {
    Method = 1,
    PropertyGet = 2,
    MethodOrGet = 3,
    PropertyPut = 4,
};

constexpr bool Allows(TInvokeKind Kind, TInvokeKind What)
{
    return (static_cast<unsigned>(Kind) & static_cast<unsigned>(What)) != 0;
}

// An object reached by name. Servers implement Invoke; a property put
// carries its value as the last argument.
class TDispatch
{
public:
    virtual ~TDispatch() = default;
    // Raises EAutomationError for an unknown name, unfit arguments or a
    // call the server could not carry out.
    virtual TVariant Invoke(std::string_view Name, TInvokeKind Kind,
                            const std::vector<TVariant>& Args) = 0;
    // A short name of the object for journals and messages.
    virtual std::string Describe() const { return "object"; }
};

// Calls on a value that must hold an object; an empty or non-object value
// raises EAutomationError like a refused name.
TVariant GetProperty(const TVariant& Target, std::string_view Name,
                     const std::vector<TVariant>& Args = {});
void SetProperty(const TVariant& Target, std::string_view Name, const std::vector<TVariant>& Args);
TVariant CallMethod(const TVariant& Target, std::string_view Name,
                    const std::vector<TVariant>& Args = {});

// Argument and result helpers for servers; each raises EAutomationError
// when the value has another type.
std::int32_t IntegerArg(const TVariant& Value);
const std::string& TextArg(const TVariant& Value);
bool BooleanArg(const TVariant& Value);
// Integer or floating point, as a double.
double NumberArg(const TVariant& Value);
TDispatchRef ObjectArg(const TVariant& Value);

// A readable form of a value, for call journals and messages.
std::string DescribeVariant(const TVariant& Value);

} // namespace kelvalog
