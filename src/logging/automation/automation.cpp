#include "logging/automation/automation.h"

#include <charconv>
#include <system_error>

namespace kelvalog {

namespace {

TDispatch& TargetObject(const TVariant& Target, std::string_view Name)
{
    const auto* Object = std::get_if<TDispatchRef>(&Target);
    if (Object == nullptr || !*Object)
        throw EAutomationError("no object to call \"" + std::string(Name) + "\" on");
    return **Object;
}

} // namespace

TVariant GetProperty(const TVariant& Target, std::string_view Name,
                     const std::vector<TVariant>& Args)
{
    // Without arguments the member may be a method or a property.
    const TInvokeKind Kind = Args.empty() ? TInvokeKind::MethodOrGet : TInvokeKind::PropertyGet;
    return TargetObject(Target, Name).Invoke(Name, Kind, Args);
}

void SetProperty(const TVariant& Target, std::string_view Name, const std::vector<TVariant>& Args)
{
    if (Args.empty())
        throw EAutomationError("property put without a value");
    TargetObject(Target, Name).Invoke(Name, TInvokeKind::PropertyPut, Args);
}

TVariant CallMethod(const TVariant& Target, std::string_view Name,
                    const std::vector<TVariant>& Args)
{
    return TargetObject(Target, Name).Invoke(Name, TInvokeKind::Method, Args);
}

std::int32_t IntegerArg(const TVariant& Value)
{
    if (const auto* Number = std::get_if<std::int32_t>(&Value))
        return *Number;
    throw EAutomationError("integer expected, got " + DescribeVariant(Value));
}

const std::string& TextArg(const TVariant& Value)
{
    if (const auto* Text = std::get_if<std::string>(&Value))
        return *Text;
    throw EAutomationError("text expected, got " + DescribeVariant(Value));
}

bool BooleanArg(const TVariant& Value)
{
    if (const auto* Flag = std::get_if<bool>(&Value))
        return *Flag;
    throw EAutomationError("boolean expected, got " + DescribeVariant(Value));
}

double NumberArg(const TVariant& Value)
{
    if (const auto* Number = std::get_if<std::int32_t>(&Value))
        return *Number;
    if (const auto* Number = std::get_if<double>(&Value))
        return *Number;
    throw EAutomationError("number expected, got " + DescribeVariant(Value));
}

TDispatchRef ObjectArg(const TVariant& Value)
{
    if (const auto* Object = std::get_if<TDispatchRef>(&Value); Object != nullptr && *Object)
        return *Object;
    throw EAutomationError("object expected, got " + DescribeVariant(Value));
}

std::string DescribeVariant(const TVariant& Value)
{
    struct Visitor
    {
        std::string operator()(std::monostate) const { return "empty"; }
        std::string operator()(std::int32_t Number) const { return std::to_string(Number); }
        std::string operator()(const std::string& Text) const { return '"' + Text + '"'; }
        std::string operator()(bool Flag) const { return Flag ? "true" : "false"; }
        std::string operator()(double Number) const
        {
            // As "%.17g" in the C locale, whatever locale the process runs in.
            char Buffer[40];
            const auto [end, ec] = std::to_chars(Buffer, Buffer + sizeof Buffer, Number,
                                                 std::chars_format::general, 17);
            return ec == std::errc() ? std::string(Buffer, end) : std::string("?");
        }
        std::string operator()(const TDispatchRef& Object) const
        {
            return Object ? Object->Describe() : "nothing";
        }
    };
    return std::visit(Visitor{}, Value);
}

} // namespace kelvalog
