// Typed values of the settings store and the batch tables.
#include "settings/AppSetting.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

namespace {

std::string Text(CAppSetting& store, const char* key) {
    const char* value = nullptr;
    store.GetValue(key, &value, nullptr);
    return value != nullptr ? value : "<none>";
}

} // namespace

TEST(TypedValues, SettersWriteTheirTextForms) {
    CAppSetting store;
    store.SetHex("hex", 26);
    store.SetHex("hexmax", 0xFFFFFFFFu);
    store.SetInt("neg", -1);
    store.SetInt("min", INT32_MIN);
    const std::int32_t ref = 42;
    store.SetIntRef("ref", ref);
    store.SetDouble("d", 0.1);
    store.SetDouble("big", 1e20);
    store.SetDouble("negd", -1234.5678);
    store.SetFloat("f", 2.5f);
    const std::uint8_t bytes[] = {0, 255, 16};
    store.SetBinary("bin", bytes, 3);
    store.SetBinary("nothing", bytes, 0);
    store.SetStringW("wide", u"Gr\u00FC\u00DFe");
    store.SetStringW("lone", u"a\xD800z");
    const struct {
        const char* key;
        const char* text;
    } cases[] = {
        {"hex", "0x0000001A"},
        {"hexmax", "0xFFFFFFFF"},
        {"neg", "-1"},
        {"min", "-2147483648"},
        {"ref", "42"},
        {"d", "0.100000"},
        {"big", "100000000000000000000.000000"},
        {"negd", "-1234.567800"},
        {"f", "2.500000"},
        {"bin", "00FF10"},
        {"nothing", ""},
        {"wide", "Gr\xC3\xBC\xC3\x9F"
                 "e"},
        {"lone", "a?z"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Text(store, c.key), c.text) << c.key;
    }
}

TEST(TypedValues, IntegerReading) {
    const struct {
        const char* text;
        std::int32_t asInt;
        std::uint32_t asUInt;
    } cases[] = {
        {"0x0000001A", 26, 26},
        {"-1", -1, 4294967295u},
        {"0XFFFFFFFF", -1, 4294967295u},
        {"0x80000000", INT32_MIN, 0x80000000u},
        {"0x1FFFFFFFF", -1, 4294967295u}, // saturates, then reinterpreted
        {"12abc", 12, 12},
        {"abc", 0, 0},
        {"", 0, 0},
        {"  +42", 42, 42},
        {" \t-7x", -7, 4294967289u},
        {"99999999999", INT32_MAX, 4294967295u},  // decimal clamps / saturates
        {"-99999999999", INT32_MIN, 4294967295u}, // saturation wins over the sign
        {"4294967296", INT32_MAX, 4294967295u},
        {"2147483648", INT32_MAX, 2147483648u},
        {"-2147483648", INT32_MIN, 2147483648u},
        {"0x", 0, 0},
        {"0xg1", 0, 0},
        {"-0x10", 0, 0}, // no hex prefix at the start: decimal
        {"16", 16, 16},
    };
    for (const auto& c : cases) {
        CAppSetting store;
        store.SetString("k", c.text);
        std::int32_t i = 123;
        std::uint32_t u = 123;
        EXPECT_EQ(store.GetInt("k", &i), 1) << c.text;
        EXPECT_EQ(store.GetUInt("k", &u), 1) << c.text;
        EXPECT_EQ(i, c.asInt) << c.text;
        EXPECT_EQ(u, c.asUInt) << c.text;
    }
}

TEST(TypedValues, RealReading) {
    const struct {
        const char* text;
        double value;
    } cases[] = {
        {"1.500000", 1.5}, {"1.5e3x", 1500.0}, {" -2.25", -2.25},   {"abc", 0.0},
        {".5", 0.5},       {"1e", 1.0},        {"inf", 0.0},        {"nan", 0.0},
        {"0x1p3", 0.0},    {"+3.", 3.0},       {"1e999", HUGE_VAL}, {"-", 0.0},
    };
    for (const auto& c : cases) {
        CAppSetting store;
        store.SetString("k", c.text);
        double d = 99;
        float f = 99;
        EXPECT_EQ(store.GetDouble("k", &d), 1) << c.text;
        EXPECT_EQ(store.GetFloat("k", &f), 1) << c.text;
        EXPECT_EQ(d, c.value) << c.text;
        EXPECT_EQ(f, static_cast<float>(c.value)) << c.text;
    }
}

TEST(TypedValues, RealsIgnoreTheLocale) {
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    const std::string saved = previous ? previous : "C";
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr &&
        std::setlocale(LC_NUMERIC, "fr_FR.UTF-8") == nullptr) {
        GTEST_SKIP() << "no locale with a decimal comma installed";
    }
    CAppSetting store;
    store.SetDouble("d", 1.5);
    double d = 0;
    store.GetDouble("d", &d);
    std::setlocale(LC_NUMERIC, saved.c_str());
    EXPECT_EQ(Text(store, "d"), "1.500000");
    EXPECT_EQ(d, 1.5);
}

TEST(TypedValues, Colors) {
    const struct {
        const char* text;
        int result;
        std::uint32_t color;
    } cases[] = {
        {"255,128,0", 1, 33023},
        {"255,128", 0, 7},
        {"1, 2 ,3", 1, 1 + 2 * 256 + 3 * 65536},
        {"256,-1,2", 1, 0 + 255 * 256 + 2 * 65536},
        {",,", 1, 0},
        {"1,                                                                  ,3", 0, 7},
    };
    for (const auto& c : cases) {
        CAppSetting store;
        store.SetString("c", c.text);
        std::uint32_t color = 7;
        EXPECT_EQ(store.GetColor("c", &color), c.result) << c.text;
        EXPECT_EQ(color, c.color) << c.text;
    }
}

TEST(TypedValues, ByteRuns) {
    CAppSetting store;
    std::uint8_t out[8] = {};
    std::uint32_t count = 99;
    store.SetString("b", "00 FF-10");
    EXPECT_EQ(store.GetBinary("b", out, 8, &count), 1);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(std::vector<std::uint8_t>(out, out + 3), (std::vector<std::uint8_t>{0, 255, 16}));
    EXPECT_EQ(store.GetBinary("b", out, 2, &count), 1);
    EXPECT_EQ(count, 2u);
    store.SetString("b", "A9B");
    EXPECT_EQ(store.GetBinary("b", out, 8, &count), 1);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(out[0], 0xA9);
    count = 99;
    EXPECT_EQ(store.GetBinary("missing", out, 8, &count), 0);
    EXPECT_EQ(count, 0u);

    std::vector<std::uint8_t> big(3000);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 7);
    }
    store.SetBinary("big", big.data(), static_cast<std::uint32_t>(big.size()));
    EXPECT_EQ(Text(store, "big").size(), 6000u);
    std::vector<std::uint8_t> back(4000);
    EXPECT_EQ(store.GetBinary("big", back.data(), 4000, &count), 1);
    EXPECT_EQ(count, 3000u);
    back.resize(count);
    EXPECT_EQ(back, big);
}

TEST(TypedValues, MissingAndValueLessLeavePlacesAlone) {
    CAppSetting store;
    store.SetValue("bare", nullptr, -1);
    for (const char* key : {"missing", "bare"}) {
        std::int32_t i = 5;
        std::uint32_t u = 5;
        double d = 5;
        float f = 5;
        std::uint32_t c = 5;
        EXPECT_EQ(store.GetInt(key, &i), 0);
        EXPECT_EQ(store.GetUInt(key, &u), 0);
        EXPECT_EQ(store.GetDouble(key, &d), 0);
        EXPECT_EQ(store.GetFloat(key, &f), 0);
        EXPECT_EQ(store.GetColor(key, &c), 0);
        EXPECT_EQ(i + u + d + f + c, 25);
    }
}

TEST(Tables, WriteThenRead) {
    std::int32_t number = -5;
    char text[] = "hello";
    double real = 0.25;
    std::uint8_t bytes[] = {1, 2, 0xAB};
    const SettingTableRow write[] = {{1, "n", &number, 0},       {2, "t", text, 0},
                                     {3, "skipped", &number, 0}, {4, "r", &real, 0},
                                     {5, "b", bytes, 3},         {0, nullptr, nullptr, 0}};
    CAppSetting store;
    EXPECT_EQ(store.WriteTable(write), 1);
    EXPECT_EQ(Text(store, "n"), "-5");
    EXPECT_EQ(Text(store, "t"), "hello");
    EXPECT_EQ(Text(store, "skipped"), "<none>");
    EXPECT_EQ(Text(store, "r"), "0.250000");
    EXPECT_EQ(Text(store, "b"), "0102AB");

    std::uint32_t n = 0;
    char t[4] = {};
    double r = 0;
    std::uint8_t b[2] = {};
    std::uint32_t untouched = 77;
    const SettingTableRow read[] = {{1, "n", &n, 0},         {2, "t", t, sizeof t},
                                    {3, "n", &untouched, 0}, {4, "r", &r, 0},
                                    {5, "b", b, sizeof b},   {1, "missing", &untouched, 0},
                                    {0, nullptr, nullptr, 0}};
    EXPECT_EQ(store.ReadTable(read), 1);
    EXPECT_EQ(n, 4294967291u);
    EXPECT_STREQ(t, "hel");
    EXPECT_EQ(r, 0.25);
    EXPECT_EQ(b[0], 1);
    EXPECT_EQ(b[1], 2);
    EXPECT_EQ(untouched, 77u);

    const SettingTableRow empty[] = {{0, "n", &number, 0}, {1, "other", &number, 0}};
    EXPECT_EQ(store.WriteTable(empty), 1);
    EXPECT_EQ(Text(store, "other"), "<none>");
}
