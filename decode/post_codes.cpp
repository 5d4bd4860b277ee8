#include "decode/post_codes.h"

#include <algorithm>
#include <array>

#include "decode/event_text.h"

namespace {

// The BIOS's error list in ascending order of code. The sixteen disk codes share one
// name, and the boot-loader-in-flash warnings repeat for each flash bank (0x0c2, 0x1c2,
// 0x2c2 and likewise 0x?c3).
constexpr auto kPostCodes = std::to_array<SelCodeText>({
    {0x0000, "ERR_DISK_FAILED"},
    {0x0001, "ERR_DISK_FAILED"},
    {0x0002, "ERR_DISK_FAILED"},
    {0x0003, "ERR_DISK_FAILED"},
    {0x0004, "ERR_DISK_FAILED"},
    {0x0005, "ERR_DISK_FAILED"},
    {0x0006, "ERR_DISK_FAILED"},
    {0x0007, "ERR_DISK_FAILED"},
    {0x0008, "ERR_DISK_FAILED"},
    {0x0009, "ERR_DISK_FAILED"},
    {0x000a, "ERR_DISK_FAILED"},
    {0x000b, "ERR_DISK_FAILED"},
    {0x000c, "ERR_DISK_FAILED"},
    {0x000d, "ERR_DISK_FAILED"},
    {0x000e, "ERR_DISK_FAILED"},
    {0x000f, "ERR_DISK_FAILED"},
    {0x0010, "ERR_KBD_STUCK"},
    {0x0011, "ERR_KBD_FAILED"},
    {0x0012, "ERR_KBD_KCFAIL"},
    {0x0013, "ERR_KBD_LOCKED"},
    {0x0020, "ERR_VIDEO_SWITCH"},
    {0x0021, "ERR_LOCAL_MEMORY"},
    {0x0030, "ERR_SYS_MEM_FAIL"},
    {0x0031, "ERR_SHAD_MEM_FAIL"},
    {0x0032, "ERR_EXT_MEM_FAIL"},
    {0x0033, "ERR_MEM_TYPE_MIX"},
    {0x0034, "ERR_MEM_ECC_SINGLE"},
    {0x0035, "ERR_MEM_ECC_MULTIPLE"},
    {0x0036, "ERR_MEM_DECREASED"},
    {0x0037, "ERR_DMI_MEM_FAIL"},
    {0x0038, "ERR_MEM_UNUSED"},
    {0x0039, "ERR_MEM_ARCH_BAD"},
    {0x003a, "ERR_MEM_DISABLED"},
    {0x003b, "ERR_MEM_DEV_OVERFLOW"},
    {0x003c, "ERR_MEM_BAD_DIMM"},
    {0x003d, "ERR_MEM_SUB_OPTIMAL"},
    {0x003e, "ERR_MEM_NODE_INTLV"},
    {0x0040, "ERR_POS"},
    {0x0041, "ERR_AGT_RD_TIMEOUT"},
    {0x0042, "ERR_INVALID_FRU_INFO"},
    {0x0050, "ERR_CMOS_BATTERY"},
    {0x0051, "ERR_CMOS_CHECKSUM"},
    {0x0052, "ERR_PW_CHECKSUM"},
    {0x0053, "ERR_CMOS_JMPR_SET"},
    {0x0060, "ERR_TIMER_FAILED"},
    {0x0070, "ERR_RTC_FAILED"},
    {0x0071, "ERR_RTC_INV_DATE_TIME"},
    {0x0080, "ERR_CONFIG_FAILED"},
    {0x0081, "ERR_CONFIG_MEMORY"},
    {0x0090, "ERR_NVRAM"},
    {0x0091, "ERR_MCU_CHKSUM"},
    {0x00a0, "ERR_COP"},
    {0x00a1, "ERR_COP_BMC_NOT_FOUND"},
    {0x00a2, "ERR_COP_BMC_SEL_FULL"},
    {0x00b0, "ERR_FLOPPYA_FAILED"},
    {0x00b1, "ERR_FLOPPYB_FAILED"},
    {0x00b2, "ERR_FLOPPYA_INCORRECT"},
    {0x00b3, "ERR_FLOPPYB_INCORRECT"},
    {0x00c0, "ERR_LOADED"},
    {0x00c1, "ERR_OS_NOT_FOUND"},
    {0x00c2, "ERR_WARN_NO_VALID_BLDR_IN_SF"},
    {0x00c3, "ERR_FATAL_NO_VALID_BLDR_IN_SF"},
    {0x00d0, "ERR_CACHE_FAILED"},
    {0x00d1, "ERR_L2_CACHE_RANGE"},
    {0x00e0, "ERR_IO_ADDRESS"},
    {0x00e1, "ERR_IO_COM"},
    {0x00e2, "ERR_IO_LPT"},
    {0x00e3, "ERR_IO_CONFLICT"},
    {0x00e4, "ERR_IO_UNSUPPORTED"},
    {0x00e5, "ERR_IO_IRQ"},
    {0x00e6, "ERR_IO_IDE"},
    {0x00e7, "ERR_IO_FDD"},
    {0x00f0, "ERR_OTHER_CPUID"},
    {0x00f1, "ERR_OTHER_BIST"},
    {0x00f2, "ERR_OTHER_BSP"},
    {0x00f3, "ERR_OTHER_AP"},
    {0x00f4, "ERR_OTHER_CMOS"},
    {0x00f5, "ERR_OTHER_DMA"},
    {0x00f6, "ERR_OTHER_NMI"},
    {0x00f7, "ERR_OTHER_FAILSAFE"},
    {0x00f8, "ERR_OTHER_CPU_SAFE_MODE"},
    {0x00f9, "ERR_OTHER_FPGA_JMPR_SET"},
    {0x00fa, "ERR_OTHER_WDT_REBOOT_TP49"},
    {0x00fb, "ERR_OTHER_WDT_REBOOT_TP60"},
    {0x00fc, "ERR_LDT_STOP_REBOOT"},
    {0x01c2, "ERR_WARN_NO_VALID_BLDR_IN_SF"},
    {0x01c3, "ERR_FATAL_NO_VALID_BLDR_IN_SF"},
    {0x02c2, "ERR_WARN_NO_VALID_BLDR_IN_SF"},
    {0x02c3, "ERR_FATAL_NO_VALID_BLDR_IN_SF"},
});
static_assert(kPostCodes.size() == 89);
// Every code once, in ascending order, so that a lookup finds the one row of its code.
static_assert(std::adjacent_find(kPostCodes.begin(), kPostCodes.end(),
                                 [](const SelCodeText& a, const SelCodeText& b) {
                                   return a.code >= b.code;
                                 }) == kPostCodes.end());
static_assert(std::none_of(kPostCodes.begin(), kPostCodes.end(),
                           [](const SelCodeText& row) { return row.text.empty(); }));

}  // namespace

std::string_view sel_post_code_name(std::uint32_t code) {
  return sel_find_text(kPostCodes, code);
}
