#include "asio/Discovery.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

UsbIdentity parse(std::wstring path) {
    return parseInterfacePath(path.data());
}

std::string instanceIdOf(const std::wstring& path) {
    std::string out(path.size() + 1, '\x7f');
    interfacePathToInstanceId(path.c_str(), out.data(), out.size());
    return out.c_str();
}

} // namespace

TEST(InterfacePath, ReadsVendorProductAndInterface) {
    const UsbIdentity id = parse(L"\\\\?\\USB#VID_1852&PID_7022&MI_01#7&1a&0&0001#{guid}\\wave");
    EXPECT_EQ(id.vendorId, 0x1852u);
    EXPECT_EQ(id.productId, 0x7022u);
    EXPECT_EQ(id.interfaceNumber, 0x01u);
    EXPECT_EQ(acceptedSlot(id), 0);
}

TEST(InterfacePath, AcceptsTheDeviceWithoutInterfaceNumberAndInLowerCase) {
    EXPECT_EQ(acceptedSlot(parse(L"\\\\?\\usb#vid_1852&pid_7022#5&abc&0&2#{guid}")), 0);
    const UsbIdentity noMi = parse(L"\\\\?\\USB#VID_1852&PID_7022#5&abc&0&2#{guid}");
    EXPECT_EQ(noMi.interfaceNumber, 0xFFu);
    EXPECT_EQ(acceptedSlot(noMi), 0);
    // Any interface number is accepted by the device's row.
    EXPECT_EQ(acceptedSlot(parse(L"\\\\?\\USB#VID_1852&PID_7022&MI_03#x#{g}")), 0);
}

TEST(InterfacePath, RejectsOtherDevicesAndTruncatedMarkers) {
    EXPECT_EQ(acceptedSlot(parse(L"\\\\?\\USB#VID_1852&PID_7023&MI_01#x#{g}")), -1);
    EXPECT_EQ(acceptedSlot(parse(L"\\\\?\\USB#VID_0D8C&PID_7022#x#{g}")), -1);
    EXPECT_EQ(acceptedSlot(parse(L"\\\\?\\HDAUDIO#FUNC_01&VEN_10EC#x#{g}")), -1);
    // Fewer than four characters after "VID_": the vendor stays unknown.
    const UsbIdentity shortVid = parse(L"PID_7022 VID_185");
    EXPECT_EQ(shortVid.vendorId, 0xFFu);
    EXPECT_EQ(acceptedSlot(shortVid), -1);
    // Conversion stops at the first non-hexadecimal character.
    EXPECT_EQ(parse(L"VID_18Z2&PID_7022").vendorId, 0x18u);
    EXPECT_EQ(acceptedSlot(parse(L"")), -1);
}

TEST(InterfacePath, BecomesTheDeviceInstanceId) {
    EXPECT_EQ(instanceIdOf(L"\\\\?\\usb#vid_1852&pid_7022&mi_01#7&1a2b&0&0001#{6994ad04}\\wave"),
              "USB\\VID_1852&PID_7022&MI_01\\7&1A2B&0&0001");
    EXPECT_EQ(instanceIdOf(L"\\\\?\\"), "");
    EXPECT_EQ(instanceIdOf(L"\\\\?\\USB#VID_1852&PID_7022#inst"), "") << "third '#' missing";
    EXPECT_EQ(instanceIdOf(L"\\\\?\\USB"), "");
}

TEST(InterfacePath, InstanceIdNeverOverrunsItsBuffer) {
    char small[8];
    std::memset(small, 'x', sizeof(small));
    interfacePathToInstanceId(L"\\\\?\\USB#VID_1852&PID_7022#inst#{g}", small, sizeof(small));
    EXPECT_EQ(small[0], '\0');
}
