/// @file
/// @brief toolkit::CElement, the typed value of the store, and the conversions between the host's
/// `timeval` and the records' time stamps.
#ifndef TOOLKIT_ELEMENT_H
#define TOOLKIT_ELEMENT_H

#include <nyr.h>
#include <sys/time.h>
#include <toolkit/export.h>

#include <complex>
#include <cstdint>
#include <locale>
#include <string>
#include <type_traits>
#include <vector>

/// The class interface of libnyr++ to the store.
namespace toolkit {

/// What the element's declarations need of the machine's integer types.
namespace element_detail {
/// Whether `T` is int32_t or int64_t.
template <typename T>
constexpr bool is_fixed_width_integer =
    std::is_same<T, std::int32_t>::value || std::is_same<T, std::int64_t>::value;
/// The one of int, long and long long that is neither int32_t nor int64_t on this machine:
/// long long on the PC (where int64_t is long), long on the 32-bit device (where int64_t is long
/// long and long has 32 bits).
using other_signed_integer =
    std::conditional_t<!is_fixed_width_integer<int>, int,
                       std::conditional_t<!is_fixed_width_integer<long>, long, long long>>;
static_assert(!is_fixed_width_integer<other_signed_integer>, "three signed integer types");
static_assert(sizeof(other_signed_integer) == 4 || sizeof(other_signed_integer) == 8,
              "the element holds integers of 32 and 64 bits");
/// Its unsigned partner, the one of unsigned int, unsigned long and unsigned long long that is
/// neither uint32_t nor uint64_t.
using other_unsigned_integer = std::make_unsigned_t<other_signed_integer>;
}  // namespace element_detail

/// The typed value of the store: one leaf value, the value of an event, the item of every batch.
///
/// It is the store's 32-byte value record plus the storage the record lacks: an element owns the
/// characters of a string value and the bytes of a byte-array value, so it can be copied, moved
/// and kept freely, and handed to any store call that expects a value record.
///
/// Thread safety: no internal locking. Any number of threads may read one element at once; a
/// thread that assigns to or converts an element needs exclusive access to it.
class TOOLKIT_API CElement : public _element_datatype_t {
public:
    // ---- Class-wide statics ----------------------------------------------------------------
    /// {-1, 0}: a time stamp that is not set.
    static const timeval _invalid_time;
    /// True (the default): writes of unstamped values ask the store to stamp. A plain variable:
    /// change it only while no other thread uses the library.
    static bool _auto_time;
    /// True: every write asks the store to stamp (default false). A plain variable, as
    /// _auto_time.
    static bool _forced_auto_time;
    /// "DATATYPE_INVALID", the name of type code 0.
    static const std::string _invalid;

    // ---- Construction ----------------------------------------------------------------------
    /// DATATYPE_INVALID without time stamp; the value union is not set.
    CElement();
    /// @name Typed constructors
    //@{
    /// One constructor per data type; `time` becomes the time stamp (default: none, {-1, 0}).
    /// @param value The value; a string's characters are copied.
    /// @param time The time stamp.
    explicit CElement(bool value, timeval time = _invalid_time);
    explicit CElement(int32_t value, timeval time = _invalid_time);
    explicit CElement(uint32_t value, timeval time = _invalid_time);
    explicit CElement(double value, timeval time = _invalid_time);
    explicit CElement(std::int64_t value, timeval time = _invalid_time);
    explicit CElement(std::uint64_t value, timeval time = _invalid_time);
    explicit CElement(std::complex<double> value, timeval time = _invalid_time);
    explicit CElement(const std::string& value, timeval time = _invalid_time);
    //@}
    /// @name Constructors for the machine's other integer types
    //@{
    /// The third standard integer type of each signedness (long long and unsigned long long on
    /// the PC, long and unsigned long on the device), so that every integer type has an element
    /// on every machine: DATATYPE_INT or DATATYPE_INT64 (DATATYPE_UINT or DATATYPE_UINT64) by the
    /// width the type has there. Narrower types (char, short) promote to int: DATATYPE_INT.
    /// @param value The value.
    /// @param time The time stamp (default: none).
    explicit CElement(element_detail::other_signed_integer value, timeval time = _invalid_time);
    explicit CElement(element_detail::other_unsigned_integer value, timeval time = _invalid_time);
    //@}
    /// A DATATYPE_STRING value. A string literal would otherwise pick the bool constructor.
    /// @param value The text up to its NUL; a null pointer gives "".
    /// @param time The time stamp (default: none).
    explicit CElement(const char* value, timeval time = _invalid_time);
    /// A DATATYPE_BLOB value.
    /// @param blob The bytes, copied.
    /// @param time The time stamp (default: none).
    explicit CElement(const std::vector<char>& blob, timeval time = _invalid_time);
    /// DATATYPE_TIME holding `value` (both fields, truncated to the record's 32-bit fields).
    /// @param value The point in time the element holds.
    /// @param time The time stamp (default: none).
    /// @return The new element.
    static CElement from_time(timeval value, timeval time = _invalid_time);

    /// A copy of `other`, with its own copy of a string or byte-array payload.
    /// @param other The element to copy.
    CElement(const CElement& other);
    /// Takes over `other`'s value; a `time` whose tv_sec is not -1 then replaces the time stamp.
    /// @param other The element to take over; it may then only be destroyed or assigned to.
    /// @param time The new time stamp, or the default to keep `other`'s.
    CElement(CElement&& other, timeval time = _invalid_time) noexcept;
    /// Releases the payload buffers.
    ~CElement() = default;

    // ---- Assignment ------------------------------------------------------------------------
    /// Copies the whole record, then the payload buffer of a string or byte-array value.
    /// @param other The element to copy.
    /// @return This element.
    CElement& operator=(const CElement& other);
    /// Copies the whole record and exchanges the payload buffer of a string or byte-array value.
    /// A moved-from element may only be destroyed or assigned to.
    /// @param other The element to take over.
    /// @return This element.
    CElement& operator=(CElement&& other) noexcept;
    /// Takes over a value record (typically one the store filled): copies the record and the
    /// `length` bytes its `data` points to; the record and its memory are only read.
    /// @param record The value record.
    /// @return This element.
    CElement& operator=(const _element_datatype_t& record);

    // ---- Comparison and export -------------------------------------------------------------
    /// Value equality; time stamps are ignored. A type outside 1..10 equals nothing, not even
    /// itself. FLOAT: NaN equals NaN; COMPLEX: IEEE comparison of both parts.
    /// @param other The value record (or element) to compare with.
    /// @return True when both hold the same type and value.
    bool operator==(const _element_datatype_t& other) const;
    /// A copy of the record whose string or blob payload is copied into `buf` (at most size - 1
    /// bytes, no terminator written) with `data` pointing at `buf`. Other types: the record as
    /// is, `buf` untouched. With a null `buf` or a `size` of 0 nothing is copied: the record comes
    /// back with `data` null and `length` 0 for a string or blob.
    /// @param buf Where the payload goes.
    /// @param size Bytes at `buf`.
    /// @return The record.
    _element_datatype_t duplicate_element(char* buf, unsigned int size) const;

    // ---- Readers: never fail, never change the element --------------------------------------
    /// @name Readers
    //@{
    /// Each reads the value by a fixed rule per data type and never fails or changes the element;
    /// a type outside 1..10 gives false, 0, 0.0, (0.0, 0.0) or {-1, 0}. String values are read as
    /// their text up to the first NUL: integers as the whole text in base 10, else in base 16,
    /// else its decimal prefix (saturating at the 64-bit limits; the 32-bit readers keep the low
    /// 32 bits); booleans true only for "true" in any case; doubles as "NaN", "INF", "-INF" or
    /// strtod's prefix; complex numbers as "(re,im)"; times as "YYYY-MM-DDThh:mm:ssZ" in UTC
    /// (tv_sec -1 when not a time or outside the 32-bit seconds range).
    /// A double (a FLOAT value or a complex magnitude) outside the target integer's range
    /// saturates at that range's nearest end (negative values read as 0 by the unsigned
    /// readers) and a NaN reads as 0; in-range values are truncated toward zero.
    /// @return The value read as the reader's type.
    bool to_bool() const;
    int32_t to_int() const;
    uint32_t to_uint() const;
    std::int64_t to_int64() const;
    std::uint64_t to_uint64() const;
    double to_float() const;
    std::complex<double> to_complex() const;
    //@}
    /// The value read as a time, by the rules of the readers above: a time as it is, numbers as
    /// whole seconds, a text as "YYYY-MM-DDThh:mm:ssZ"; booleans and blobs are no time.
    /// @param[out] out The time; {-1, 0} when the value is no time.
    void to_timeval(timeval& out) const;

    // ---- Text forms ------------------------------------------------------------------------
    /// Replaces `out` with the canonical text of the value ("" for an invalid type): decimal
    /// integers, doubles with at least 6 significant digits ("%G", "NaN", "INF", "-INF"), times
    /// as "YYYY-MM-DDThh:mm:ssZ" in UTC, complex numbers as "(re,im)", strings with every byte,
    /// blobs in Base64 with padding.
    /// @param[out] out The text.
    void to_string(std::string& out) const;
    /// The translation of the canonical text in `locale`'s message catalogue under `domain`.
    /// A string value is looked up by its text up to the first NUL. Without an entry, or without
    /// a catalogue in `locale`, the text comes back untranslated; an empty text gives "" without
    /// a lookup. A library built without Boost.Locale always returns the untranslated text.
    /// @param locale The locale whose catalogue is asked.
    /// @param context The message context; null: none.
    /// @param domain The message domain; must not be null.
    /// @return The translated (or untranslated) text.
    std::string to_translated_string(const std::locale& locale, const char* context,
                                     const char* domain) const;

    // ---- Conversion and bytes --------------------------------------------------------------
    /// Replaces the value by its reading as `target`; the time stamp never changes.
    /// @param target The new data type.
    /// @return 0; -1 and no change at all for a target outside 1..10.
    int convert_type(data_type_t target);
    /// Replaces `out` with the bytes of the value in host byte order (strings without a
    /// terminator, blobs as they are); an invalid type leaves `out` empty.
    /// @param[out] out The bytes.
    void to_binary_blob(std::vector<char>& out) const;

    // ---- String utilities ------------------------------------------------------------------
    /// Replaces `out` with the pieces of `text` between separators: n separators give n + 1
    /// pieces, empty ones included; an empty `text` gives no pieces.
    /// @param[out] out The pieces.
    /// @param text The text to split.
    /// @param separator The separator character.
    static void split_string(std::vector<std::string>& out, const std::string& text,
                             char separator);
    /// Replaces `out` with `parts` joined by ";" (entries are not escaped).
    /// @param[out] out The joined text.
    /// @param parts The entries.
    static void merge_strings(std::string& out, const std::vector<std::string>& parts);
    /// Replaces each of < > & ' " by its XML entity; existing entities are not recognised.
    /// @param[in,out] text The text, escaped in place.
    static void xml_escape(std::string& text);

    /// Read access to the payload buffer of a string element.
    /// @return The characters of a DATATYPE_STRING value.
    const std::string& string_buffer() const { return _string_buffer; }
    /// Read access to the payload buffer of a blob element.
    /// @return The bytes of a DATATYPE_BLOB value.
    const std::vector<char>& blob_buffer() const { return _blob_buffer; }

private:
    void set_time_stamp(timeval time);
    void take_string(std::string&& text);
    void take_blob(std::vector<char>&& bytes);

    std::string _string_buffer;      // owns the characters of a DATATYPE_STRING value
    std::vector<char> _blob_buffer;  // owns the bytes of a DATATYPE_BLOB value
};

/// The record's form of a host time: each field keeps its low 32 bits.
/// @param time The host time.
/// @return The record's two 32-bit fields.
TOOLKIT_API qel_time32_t to_time32(timeval time);
/// The host's form of a record's time stamp.
/// @param time The record's two 32-bit fields.
/// @return The host time.
TOOLKIT_API timeval from_time32(qel_time32_t time);

}  // namespace toolkit

#endif  // TOOLKIT_ELEMENT_H
