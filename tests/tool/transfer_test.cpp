// Export and import of nyr on a store in memory: lossless round trips of every type, and documents
// refused before anything is written.
#include "transfer.h"

#include <gtest/gtest.h>
#include <nyr_host.h>
#include <toolkit/nyr.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "tool_error.h"
#include "tree_walk.h"
#include "value_text.h"

namespace {

using toolkit::CElement;

double from_bits(uint64_t bits) {
    double value = 0;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The i-th sample value: every data type, with the doubles JSON has no number for.
CElement sample(std::size_t i) {
    const timeval stamp{static_cast<time_t>(1700000000 + i), static_cast<suseconds_t>(i % 1000000)};
    switch (i % 16) {
        case 0:
            return CElement(i % 32 == 0, stamp);
        case 1:
            return CElement(std::numeric_limits<int32_t>::min() + static_cast<int32_t>(i), stamp);
        case 2:
            return CElement(std::numeric_limits<uint32_t>::max() - static_cast<uint32_t>(i), stamp);
        case 3:
            return CElement(static_cast<std::int64_t>(INT64_MIN + i), stamp);
        case 4:
            return CElement(static_cast<std::uint64_t>(UINT64_MAX - i), stamp);
        case 5:
            return CElement(from_bits(0x7ff4000000000000u | i), stamp);  // NaN with a payload
        case 6:
            return CElement(-0.0, stamp);
        case 7:
            return CElement(i % 2 ? -INFINITY : INFINITY, stamp);
        case 8:
            return CElement(0.1 * static_cast<double>(i) + 5e-324, stamp);
        case 9:
            return CElement(std::complex<double>(-0.0, from_bits(0xfff8000000000001u)), stamp);
        case 10:
            return CElement::from_time(timeval{-static_cast<time_t>(i), 999999}, stamp);
        case 11:
            return CElement(std::string("grüße\0\"\\\n", 11) + std::to_string(i), stamp);
        case 12:
            return CElement(std::string("\xff\xfe not UTF-8"), stamp);
        case 13:
            return CElement(std::vector<char>{'\0', '\xff', static_cast<char>(i)}, stamp);
        case 14:
            return CElement(std::vector<char>{});  // and no time stamp
        default:
            return CElement(std::string(), stamp);
    }
}

// Equality of two documents, showing where they part (gtest's own diff of 10 MB texts would not
// finish).
::testing::AssertionResult same_document(const std::string& a, const std::string& b) {
    if (a == b) return ::testing::AssertionSuccess();
    std::size_t at = 0;
    while (at < a.size() && at < b.size() && a[at] == b[at]) ++at;
    const std::size_t from = at < 100 ? 0 : at - 100;
    return ::testing::AssertionFailure() << "documents differ at byte " << at << ":\n"
                                         << a.substr(from, 200) << "\n---\n"
                                         << b.substr(from, 200);
}

class TransferTest : public ::testing::Test {
protected:
    void SetUp() override {
        _store = qel_host_store_open(nullptr);
        _handle = qel_host_handle_open(_store);
    }
    void TearDown() override { qel_host_store_close(_store); }

    qel_store_t* _store = nullptr;
    qel_handle_t _handle = nullptr;
};

TEST_F(TransferTest, ExportImportExportKeepsEveryBitOfEveryType) {
    toolkit::CNyr client(_handle);
    CElement::_auto_time = false;  // keep the samples' own stamps, and their absence
    std::vector<std::string> paths;
    std::vector<CElement> values;
    std::vector<qel_tribool_t> tribools;
    // Enough leaves for several batches of the import and two nodes.
    for (std::size_t i = 0; i < 2 * nyr_tool::kBatchLeaves + 100; ++i) {
        paths.push_back("/src/n" + std::to_string(i % 2) + "/leaf" + std::to_string(i));
        values.push_back(sample(i));
        tribools.push_back(static_cast<qel_tribool_t>(i % 5 == 4 ? 0xFFFFFFFFu : i % 3));
    }
    std::vector<api_status_t> statuses;
    ASSERT_EQ(client.set_leaves(paths, values, tribools, statuses, ""), 0);
    CElement::_auto_time = true;
    api_status_t status = 0;
    client.add_node("/src/empty/deeper", status, "");

    const std::string first = nyr_tool::export_subtree(client, "/src");
    EXPECT_TRUE(same_document(nyr_tool::export_subtree(client, "/src"), first));  // same bytes
    nyr_tool::write_import(client, nyr_tool::check_import("/copy/here", first, "doc"),
                           "/copy/here");
    EXPECT_TRUE(same_document(nyr_tool::export_subtree(client, "/copy/here"), first));
    EXPECT_TRUE(CElement::_auto_time);

    // The copy holds the very records, not merely the same text: compare them bit for bit.
    std::vector<std::string> copies;
    for (const std::string& path : paths) copies.push_back("/copy/here" + path.substr(4));
    std::vector<CElement> original;
    std::vector<CElement> copied;
    std::vector<element_property_t> original_properties;
    std::vector<element_property_t> copied_properties;
    ASSERT_EQ(client.get_leaves(paths, statuses, original, original_properties), 0);
    ASSERT_EQ(client.get_leaves(copies, statuses, copied, copied_properties), 0);
    ASSERT_EQ(copied.size(), original.size());
    for (std::size_t i = 0; i < original.size(); ++i) {
        ASSERT_EQ(statuses[i], 1) << copies[i];
        ASSERT_EQ(copied_properties[i], original_properties[i]) << copies[i];
        ASSERT_EQ(copied[i].type, original[i].type) << copies[i];
        ASSERT_EQ(0, std::memcmp(&copied[i].timestamp, &original[i].timestamp,
                                 sizeof original[i].timestamp))
            << copies[i];
        if (original[i].type == DATATYPE_STRING || original[i].type == DATATYPE_BLOB)
            ASSERT_TRUE(copied[i] == original[i]) << copies[i];
        else
            ASSERT_EQ(0, std::memcmp(&copied[i].value, &original[i].value, 16)) << copies[i];
    }
    client.test_node("/copy/here/empty/deeper", status);
    EXPECT_EQ(status, 1);
}

TEST_F(TransferTest, BadDocumentsAreRefusedBeforeAnyWriteAndPartialWritesAreReported) {
    const std::string head =
        "{\"format\":\"nyr-export\",\"version\":1,\"nodes\":[\"\"],\"leaves\":[";
    const struct {
        std::string document;
        std::string message;
    } bad[] = {
        {"{\n  \"format\": nyr}", "line 2, column 14"},
        {"{\"format\":\"nyr-export\",\"version\":2,\"nodes\":[],\"leaves\":[]}", "version 2"},
        {head + "{\"path\":\"a\",\"property\":0,\"type\":\"int32\",\"value\":4294967296}]}",
         "does not fit type int32"},
        {head + "{\"path\":\"a\",\"property\":0,\"type\":\"int128\",\"value\":1}]}",
         "unknown type"},
        {head + "{\"path\":\"a\",\"property\":0,\"type\":\"double\",\"value\":\"0x7ff\"}]}",
         "16 hexadecimal digits"},
        {head + "{\"path\":\"a\",\"property\":0,\"type\":\"bytes\",\"value\":\"QQ\"}]}", "Base64"},
        {head + "{\"path\":\"a//b\",\"property\":0,\"type\":\"bool\",\"value\":true}]}",
         "bad path"},
        {head + "{\"path\":\"a\",\"property\":0,\"type\":\"bool\",\"value\":true}," +
             "{\"path\":\"a/b\",\"property\":0,\"type\":\"bool\",\"value\":true}]}",
         "below the leaf"},
    };
    for (const auto& entry : bad) {
        try {
            nyr_tool::check_import("/dst", entry.document, "doc");
            ADD_FAILURE() << "accepted: " << entry.document;
        } catch (const nyr_tool::ToolError& error) {
            EXPECT_EQ(error.exit_status(), nyr_tool::kExitRefused);
            EXPECT_NE(std::string(error.what()).find(entry.message), std::string::npos)
                << error.what();
        }
    }

    // A leaf in the way of a node of the document: the store refuses part way, and the message
    // says what was written.
    toolkit::CNyr client(_handle);
    api_status_t status = 0;
    client.set_leaf("/dst/b", CElement(1), status, 0, "");
    const std::string document =
        "{\"format\":\"nyr-export\",\"version\":1,\"nodes\":[\"\",\"a\",\"b\"],"
        "\"leaves\":[]}";
    try {
        nyr_tool::write_import(client, nyr_tool::check_import("/dst", document, "doc"), "/dst");
        ADD_FAILURE() << "the import over a leaf went through";
    } catch (const nyr_tool::ToolError& error) {
        EXPECT_NE(std::string(error.what()).find("/dst/b: is a leaf"), std::string::npos);
        EXPECT_NE(std::string(error.what()).find("written: 2 of 3 nodes"), std::string::npos)
            << error.what();
    }
}

TEST(ValueText, TypedValuesParseExactlyAndRefuseWhatDoesNotFit) {
    std::string text;
    nyr_tool::parse_typed_value("int64:-9223372036854775808").to_string(text);
    EXPECT_EQ(text, "-9223372036854775808");
    EXPECT_EQ(nyr_tool::parse_typed_value("uint32:0xffffffff").value.uint_value, 0xFFFFFFFFu);
    EXPECT_EQ(nyr_tool::parse_typed_value("double:-0").value.float_value, 0.0);
    EXPECT_TRUE(std::signbit(nyr_tool::parse_typed_value("double:-0").value.float_value));
    EXPECT_EQ(nyr_tool::parse_typed_value("complex:(1.5,-2)").to_complex(),
              std::complex<double>(1.5, -2));
    const CElement time = nyr_tool::parse_typed_value("time:2023-11-14T22:13:20.5Z");
    EXPECT_EQ(time.value.time_value.tv_sec, 1700000000);
    EXPECT_EQ(time.value.time_value.tv_usec, 500000);
    EXPECT_EQ(nyr_tool::time_text(time.value.time_value), "2023-11-14T22:13:20.500000Z");
    EXPECT_EQ(nyr_tool::parse_typed_value("bytes:AP8=").blob_buffer(),
              (std::vector<char>{'\0', '\xff'}));
    EXPECT_EQ(nyr_tool::parse_typed_value("C:\\dir").string_buffer(), "C:\\dir");
    EXPECT_EQ(nyr_tool::parse_typed_value("string:http://x").string_buffer(), "http://x");

    for (const char* input :
         {"int32:4294967296", "int32:2147483648", "uint32:-1", "uint64:-1",
          "int64:9223372036854775808", "bool:yes", "double:1e999", "double:1.5x",
          "time:2023-13-01T00:00:00Z", "time:99999999999", "bytes:A===", "complex:1.5"}) {
        try {
            nyr_tool::parse_typed_value(input);
            ADD_FAILURE() << "accepted " << input;
        } catch (const nyr_tool::ToolError& error) {
            EXPECT_EQ(error.exit_status(), nyr_tool::kExitRefused) << input;
        }
    }
    try {
        nyr_tool::parse_typed_value("int31:5");
        ADD_FAILURE() << "accepted an unknown type";
    } catch (const nyr_tool::ToolError& error) {
        EXPECT_EQ(error.exit_status(), nyr_tool::kExitUsage);
    }
}

}  // namespace
