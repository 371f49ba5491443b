// The C++ run-time's call-site tables (the language-specific data GCC
// writes for each function with a catch clause or a cleanup), read for the
// layer's own unwinds.
#include "cxx/call_sites.h"

namespace zeb::seh {

// An unsigned LEB128 number (the tables hold no signed ones).  Groups past
// the width of the value carry nothing a valid table needs and are skipped,
// not shifted out of range.
static uintptr_t read_uleb(const uint8_t *&p) {
    uintptr_t value = 0;
    unsigned shift = 0;
    uint8_t byte;
    do {
        byte = *p++;
        if (shift < 8 * sizeof value) value |= uintptr_t(byte & 0x7f) << shift;
        shift += 7;
    } while (byte & 0x80);
    return value;
}

// Reads one value of the call-site table; false for an encoding that GCC
// does not use there.
static bool read_encoded(const uint8_t *&p, uint8_t encoding, uintptr_t *value) {
    switch (encoding & 0x0f) {
    case 0x01: *value = read_uleb(p); return true;
    case 0x02: { uint16_t v; __builtin_memcpy(&v, p, 2); p += 2; *value = v; return true; }
    case 0x03: case 0x0b: { uint32_t v; __builtin_memcpy(&v, p, 4); p += 4; *value = v; return true; }
    case 0x04: case 0x0c: { uint64_t v; __builtin_memcpy(&v, p, 8); p += 8; *value = uintptr_t(v); return true; }
    default: return false;
    }
}

Site call_site_at(const uint8_t *p, uintptr_t ip, uintptr_t start) {
    if (!p) return Site::Nothing;
    uintptr_t ignored;
    const uint8_t lp_encoding = *p++;
    if (lp_encoding != 0xff && !read_encoded(p, lp_encoding, &ignored)) return Site::Terminate;
    const uint8_t type_encoding = *p++;
    if (type_encoding != 0xff) read_uleb(p);
    const uint8_t site_encoding = *p++;
    const uintptr_t table_size = read_uleb(p);
    const uint8_t *end = p + table_size;
    while (p < end) {
        uintptr_t site, length, landing;
        if (!read_encoded(p, site_encoding, &site) || !read_encoded(p, site_encoding, &length) ||
            !read_encoded(p, site_encoding, &landing))
            return Site::Terminate;
        read_uleb(p);   // the action: catch clauses, a cleanup or both
        if (ip < start + site) return Site::Terminate;
        if (ip >= start + site + length) continue;
        // A landing pad may run destructors before it looks at its catch
        // clauses: the compiler leaves the cleanup out of the action chain
        // when a cleanup further out already leads there.
        return landing ? Site::LandingPad : Site::Nothing;
    }
    return Site::Terminate;
}

Site call_site(_Unwind_Context *context) {
    int before = 0;
    uintptr_t ip = _Unwind_GetIPInfo(context, &before);
    if (!before) --ip;
    return call_site_at(static_cast<const uint8_t *>(_Unwind_GetLanguageSpecificData(context)), ip,
                        _Unwind_GetRegionStart(context));
}

bool personality_would_terminate(_Unwind_Context *context) { return call_site(context) == Site::Terminate; }

}  // namespace zeb::seh
