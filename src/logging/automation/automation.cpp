#include "logging/automation/automation.h"

#include <charconv>
#include <system_error>

namespace kelvalog {

namespace {

TDispatch& TargetObject(const TVariant& target, std::string_view name)
{
    const auto* object = std::get_if<TDispatchRef>(&target);
    if (object == nullptr || !*object)
        throw EAutomationError("no object to call \"" + std::string(name) + "\" on");
    return **object;
}

} // namespace

TVariant GetProperty(const TVariant& target, std::string_view name,
                     const std::vector<TVariant>& args)
{
    // Without arguments the member may be a method or a property.
    const TInvokeKind kind = args.empty() ? TInvokeKind::MethodOrGet : TInvokeKind::PropertyGet;
    return TargetObject(target, name).Invoke(name, kind, args);
}

void SetProperty(const TVariant& target, std::string_view name, const std::vector<TVariant>& args)
{
    if (args.empty())
        throw EAutomationError("property put without a value");
    TargetObject(target, name).Invoke(name, TInvokeKind::PropertyPut, args);
}

TVariant CallMethod(const TVariant& target, std::string_view name,
                    const std::vector<TVariant>& args)
{
    return TargetObject(target, name).Invoke(name, TInvokeKind::Method, args);
}

std::int32_t IntegerArg(const TVariant& value)
{
    if (const auto* number = std::get_if<std::int32_t>(&value))
        return *number;
    throw EAutomationError("integer expected, got " + DescribeVariant(value));
}

const std::string& TextArg(const TVariant& value)
{
    if (const auto* text = std::get_if<std::string>(&value))
        return *text;
    throw EAutomationError("text expected, got " + DescribeVariant(value));
}

bool BooleanArg(const TVariant& value)
{
    if (const auto* flag = std::get_if<bool>(&value))
        return *flag;
    throw EAutomationError("boolean expected, got " + DescribeVariant(value));
}

double NumberArg(const TVariant& value)
{
    if (const auto* number = std::get_if<std::int32_t>(&value))
        return *number;
    if (const auto* number = std::get_if<double>(&value))
        return *number;
    throw EAutomationError("number expected, got " + DescribeVariant(value));
}

TDispatchRef ObjectArg(const TVariant& value)
{
    if (const auto* object = std::get_if<TDispatchRef>(&value); object != nullptr && *object)
        return *object;
    throw EAutomationError("object expected, got " + DescribeVariant(value));
}

std::string DescribeVariant(const TVariant& value)
{
    struct Visitor
    {
        std::string operator()(std::monostate) const { return "empty"; }
        std::string operator()(std::int32_t number) const { return std::to_string(number); }
        std::string operator()(const std::string& text) const { return '"' + text + '"'; }
        std::string operator()(bool flag) const { return flag ? "true" : "false"; }
        std::string operator()(double number) const
        {
            // As "%.17g" in the C locale, whatever locale the process runs in.
            char buffer[40];
            const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, number,
                                                 std::chars_format::general, 17);
            return ec == std::errc() ? std::string(buffer, end) : std::string("?");
        }
        std::string operator()(const TDispatchRef& object) const
        {
            return object ? object->Describe() : "nothing";
        }
    };
    return std::visit(Visitor{}, value);
}

} // namespace kelvalog
