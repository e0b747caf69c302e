#include "MachineIdentity.h"

#include "Platform.h"

std::u16string FormatHardwareAddress(const std::array<std::uint8_t, 6>& address)
{
    static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
    std::u16string text;
    for (std::size_t i = 0; i < address.size(); ++i) {
        if (i > 0)
            text += u'-';
        text += kDigits[address[i] >> 4];
        text += kDigits[address[i] & 0x0F];
    }
    return text;
}

std::u16string GetMacAddress()
{
    const auto address = platform::FirstAdapterHardwareAddress();
    return address ? FormatHardwareAddress(*address) : std::u16string();
}

std::u16string UsageEventParameters(std::u16string_view code, std::u16string_view macAddress)
{
    std::u16string params = u"type=0&code=";
    params += code;
    params += u"&remark=mac=";
    params += macAddress;
    params += u",channel=0";
    return params;
}
