// JSON text -> KV-Set in one pass. nlohmann-json's SAX parser hands over the
// text as events, and a stack of frames, one per open set, pair or array
// value, builds the set model (snapshot.h) as they come: no parsed copy of
// the whole text is held. Only small values are parsed whole and checked by
// the rules of json_values.h: a key, a type name, a single value, one element
// of an array value. A pair's "value" that comes before its "key" or "type"
// is kept parsed until the pair ends, then read as if it came last.
//
// Every value is checked before any set is made, so a refused text leaves
// nothing registered. After a refusal the text is still parsed to its end,
// so that a syntax error anywhere wins, as it would if the text were parsed
// whole before being read.
#include <algorithm>
#include <memory>
#include <numeric>

#include "inspect/json.h"
#include "inspect/json_values.h"
#include "inspect/text.h"

namespace kvs {
namespace inspect {
namespace {

using nlohmann::json;

class Builder;

// One open level of the text. A scalar, or a container that the frame had
// captured whole, arrives as value(); a container that opens at the frame's
// next position arrives as open(), and the frame either reads it as it comes
// (pushes a frame of its own) or has it captured whole.
class Frame {
public:
    virtual ~Frame() = default;
    virtual void value(Builder &b, json &&v) = 0;
    virtual void open(Builder &b, bool array) = 0;
    virtual void key(Builder &, std::string &) {}
    // The frame's own container closes; false while it is still open.
    virtual bool close(Builder &) { return true; }
    // A capture: the whole value, once it is closed.
    virtual bool captures() const { return false; }
    virtual json take() { return json(); }
};

class Builder {
public:
    explicit Builder(Set *out);

    // ---- nlohmann-json's SAX interface ----
    bool null() { return scalar(json(nullptr)); }
    bool boolean(bool v) { return scalar(json(v)); }
    bool number_integer(json::number_integer_t v) { return scalar(json(v)); }
    bool number_unsigned(json::number_unsigned_t v) { return scalar(json(v)); }
    bool number_float(json::number_float_t v, const std::string &) { return scalar(json(v)); }
    bool string(std::string &v) { return scalar(json(std::move(v))); }
    bool binary(json::binary_t &) { return scalar(json(json::value_t::binary)); }  // not in JSON text
    bool start_object(std::size_t) { return guarded([&] { frames_.back()->open(*this, false); }); }
    bool start_array(std::size_t) { return guarded([&] { frames_.back()->open(*this, true); }); }
    bool key(std::string &name) { return guarded([&] { frames_.back()->key(*this, name); }); }
    bool end_object() { return guarded([&] { close_top(); }); }
    bool end_array() { return guarded([&] { close_top(); }); }
    bool parse_error(std::size_t, const std::string &token, const json::exception &e);

    // ---- for the frames ----
    void push(std::unique_ptr<Frame> frame) { frames_.push_back(std::move(frame)); }
    // Has the container that opens now captured whole, then handed to the
    // frame below as one value.
    void capture(bool array, const std::string &path);
    // Reads a value kept parsed as if it came now at the top frame's next position.
    void feed(const json &v);
    void close_top();

    // The verdict once the parser is done: true, or false with *error.
    bool verdict(std::string *error) const;

private:
    template <class Step>
    bool guarded(Step step)
    {
        if (refused_) return true;  // only syntax matters now
        try {
            step();
        } catch (const Refusal &r) {
            refused_ = true;
            refusal_ = r.message;
        }
        return true;
    }
    bool scalar(json &&v)
    {
        return guarded([&] { frames_.back()->value(*this, std::move(v)); });
    }

    std::vector<std::unique_ptr<Frame>> frames_;
    bool refused_ = false;
    std::string refusal_;
    std::string syntax_;
};

// Nesting is checked before the shape, as a set is entered.
void check_set(const std::string &path, int depth, const char *found)
{
    if (depth > KVS_MAX_NESTING)
        refuse(path, "KV-Sets nested deeper than " + std::to_string(KVS_MAX_NESTING) + " levels");
    if (found != nullptr) refuse(path, std::string("expected an array of pairs, found ") + found);
}

const char *container(bool array) { return array ? "an array" : "an object"; }

// The pairs of one set, inside its array.
class SetFrame final : public Frame {
public:
    SetFrame(Set *out, std::string path, int depth) : out_(out), path_(std::move(path)), depth_(depth) {}

    void value(Builder &, json &&v) override { not_a_pair(kind(v)); }
    void open(Builder &b, bool array) override;
    bool close(Builder &) override;

private:
    void not_a_pair(const char *found)
    {
        refuse(index_path(path_, out_->size()),
               std::string("expected a pair object {\"key\", \"type\", \"value\"}, found ") + found);
    }

    Set *out_;
    std::string path_;
    int depth_;
};

// One pair object. Key and type are kept as given until the value comes (or
// the pair ends), then checked in that order.
class PairFrame final : public Frame {
public:
    PairFrame(Pair *pair, std::string path, int depth) : pair_(pair), path_(std::move(path)), depth_(depth) {}

    void key(Builder &, std::string &name) override
    {
        const auto *at = std::find(std::begin(kNames), std::end(kNames), name);
        if (at == std::end(kNames))
            refuse(path_, "unexpected member \"" + clipped(name) + "\" (a pair holds key, type and value)");
        member_ = static_cast<Member>(at - std::begin(kNames));
        if (seen_[member_]) refuse(path_, "duplicate member \"" + name + "\"");
        seen_[member_] = true;
    }

    void value(Builder &, json &&v) override
    {
        switch (member_) {
        case Key: key_ = std::move(v); return;
        case Type: type_ = std::move(v); return;
        case Value: break;
        }
        if (!ready()) {
            kept_ = std::move(v);
            return;
        }
        const std::string at = path_ + ".value";
        if (read_whole(info_->shape)) return single_value(v, at, *info_, pair_);
        if (info_->shape == Shape::Nested) check_set(at, depth_ + 1, kind(v));
        refuse(at, std::string("expected an array, found ") + kind(v));
    }

    void open(Builder &b, bool array) override;

    bool close(Builder &b) override
    {
        for (Member m : {Key, Type, Value})
            if (!seen_[m]) refuse(path_, std::string("missing member \"") + kNames[m] + "\"");
        if (!streamed_) {
            member_ = Value;
            b.feed(kept_);
        }
        return true;
    }

private:
    enum Member { Key, Type, Value };
    static constexpr const char *kNames[] = {"key", "type", "value"};

    // Whether key and type are known, so the value can be read as it comes.
    bool ready()
    {
        if (!seen_[Key] || !seen_[Type]) return false;
        if (info_ == nullptr) resolve();
        streamed_ = true;
        return true;
    }

    void resolve()
    {
        pair_->key = symbol(key_, path_ + ".key");
        if (!type_.is_string()) refuse(path_ + ".type", std::string("expected a type name, found ") + kind(type_));
        info_ = type_by_name(type_.get_ref<const std::string &>());
        if (info_ == nullptr)
            refuse(path_ + ".type", "unknown type name \"" + clipped(type_.get_ref<const std::string &>()) + "\"");
        pair_->type = info_->storedCode;  // "CTerror" is stored as a symbol
    }

    Pair *pair_;
    std::string path_;
    int depth_;
    Member member_ = Key;
    bool seen_[3] = {false, false, false};
    bool streamed_ = false;
    json key_;
    json type_;
    json kept_;  // a value that came before key or type
    const TypeInfo *info_ = nullptr;
};

// The elements of an array value, inside its array.
class ElementsFrame final : public Frame {
public:
    ElementsFrame(Pair *pair, const TypeInfo &info, std::string path, int depth)
        : pair_(pair), info_(info), path_(std::move(path)), depth_(depth)
    {
    }

    void value(Builder &, json &&v) override
    {
        const std::string at = next();
        if (info_.shape != Shape::NestedArray) return element_value(v, at, info_, pair_);
        if (!v.is_null()) check_set(at, depth_ + 1, kind(v));
        pair_->sets.emplace_back();  // an empty element
    }

    void open(Builder &b, bool array) override
    {
        if (info_.shape != Shape::NestedArray) return b.capture(array, index_path(path_, count_));
        std::string at = next();
        check_set(at, depth_ + 1, array ? nullptr : container(array));
        pair_->sets.emplace_back(Set());
        b.push(std::make_unique<SetFrame>(&*pair_->sets.back(), std::move(at), depth_ + 1));
    }

    bool close(Builder &) override
    {
        if (count_ == 0 && info_.emptyRefused)
            refuse(path_, "a " + type_name(info_.storedCode) + " value holds at least one element");
        return true;
    }

private:
    std::string next()
    {
        if (count_ == 0x7FFFFFFFu) refuse(path_, "too many elements");
        return index_path(path_, count_++);
    }

    Pair *pair_;
    const TypeInfo &info_;
    std::string path_;
    int depth_;
    std::size_t count_ = 0;
};

// A value parsed whole, from the container that opens it to the one that
// closes it. A member name twice in one object is refused. Containers deeper
// than kKeptDepth are kept empty: the rules for a value read whole look three
// levels deep at most, and a value kept until its pair ends cannot be deeper
// and still valid (each nested set adds at most three levels).
class CaptureFrame final : public Frame {
public:
    static constexpr std::size_t kKeptDepth = 4 * KVS_MAX_NESTING + 8;

    explicit CaptureFrame(std::string path) : path_(std::move(path)) {}

    void value(Builder &, json &&v) override
    {
        if (dropped_ == 0) place(std::move(v));
    }

    void open(Builder &, bool array) override
    {
        json fresh = array ? json::array() : json::object();
        if (dropped_ > 0 || open_.size() == kKeptDepth) {
            if (dropped_++ == 0) place(std::move(fresh));
            return;
        }
        if (open_.empty()) {
            whole_ = std::move(fresh);
            open_.push_back(&whole_);
            return;
        }
        open_.push_back(place(std::move(fresh)));
    }

    void key(Builder &, std::string &name) override
    {
        if (dropped_ > 0) return;
        if (open_.back()->contains(name)) refuse(open_path(), "duplicate member \"" + clipped(name) + "\"");
        name_ = std::move(name);
    }

    bool close(Builder &) override
    {
        if (dropped_ > 0) {
            --dropped_;
            return false;
        }
        open_.pop_back();
        return open_.empty();
    }

    bool captures() const override { return true; }
    json take() override { return std::move(whole_); }

private:
    json *place(json &&v)
    {
        json &into = *open_.back();
        if (into.is_array()) {
            into.push_back(std::move(v));
            return &into.back();
        }
        return &(into[name_] = std::move(v));
    }

    // The JSON path of the innermost open container: each one still open is
    // the last element of its array, or the member of its object that holds it.
    std::string open_path() const
    {
        std::string path = path_;
        for (std::size_t k = 1; k < open_.size(); ++k) {
            const json &parent = *open_[k - 1];
            if (parent.is_array()) {
                path = index_path(path, parent.size() - 1);
                continue;
            }
            for (auto it = parent.begin(); it != parent.end(); ++it)
                if (&*it == open_[k]) path = member_path(path, it.key());
        }
        return path;
    }

    std::string path_;
    json whole_;
    std::vector<json *> open_;  // the containers still open, outermost first
    std::string name_;         // the member whose value comes next
    std::size_t dropped_ = 0;  // containers open below kKeptDepth
};

// Where the text starts: the top set.
class TopFrame final : public Frame {
public:
    explicit TopFrame(Set *out) : out_(out) {}
    void value(Builder &, json &&v) override { check_set("$", 0, kind(v)); }
    void open(Builder &b, bool array) override
    {
        check_set("$", 0, array ? nullptr : container(array));
        b.push(std::make_unique<SetFrame>(out_, "$", 0));
    }

private:
    Set *out_;
};

void SetFrame::open(Builder &b, bool array)
{
    if (array) not_a_pair(container(array));
    std::string at = index_path(path_, out_->size());
    out_->emplace_back();
    b.push(std::make_unique<PairFrame>(&out_->back(), std::move(at), depth_));
}

// One pair per key; checked once the set is complete, which finds the same
// first pair whose key an earlier pair holds as checking each pair would.
bool SetFrame::close(Builder &)
{
    std::vector<std::uint32_t> order(out_->size());
    std::iota(order.begin(), order.end(), 0u);
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) {
        const std::uint32_t ka = (*out_)[a].key;
        const std::uint32_t kb = (*out_)[b].key;
        return ka != kb ? ka < kb : a < b;
    });
    auto key = [&](std::size_t i) { return (*out_)[order[i]].key; };
    std::size_t again = out_->size();  // the first pair whose key an earlier one holds
    std::size_t first = 0;
    for (std::size_t i = 1; i < order.size(); ++i) {
        const bool second_of_key = key(i) == key(i - 1) && (i == 1 || key(i - 2) != key(i));
        if (second_of_key && order[i] < again) {
            again = order[i];
            first = order[i - 1];
        }
    }
    if (again != out_->size())
        refuse(index_path(path_, again) + ".key", "the key " + symbol_text((*out_)[again].key) + " is already used by " +
                                                      index_path(path_, first) + " (a KV-Set holds one pair per key)");
    return true;
}

void PairFrame::open(Builder &b, bool array)
{
    const std::string at = path_ + "." + kNames[member_];
    if (member_ != Value || !ready() || read_whole(info_->shape)) return b.capture(array, at);
    if (info_->shape == Shape::Nested) {
        check_set(at, depth_ + 1, array ? nullptr : container(array));
        pair_->sets.emplace_back(Set());
        return b.push(std::make_unique<SetFrame>(&*pair_->sets.back(), at, depth_ + 1));
    }
    if (!array) refuse(at, "expected an array, found an object");
    b.push(std::make_unique<ElementsFrame>(pair_, *info_, at, depth_));
}

Builder::Builder(Set *out) { frames_.push_back(std::make_unique<TopFrame>(out)); }

void Builder::capture(bool array, const std::string &path)
{
    push(std::make_unique<CaptureFrame>(path));
    frames_.back()->open(*this, array);
}

void Builder::close_top()
{
    if (!frames_.back()->close(*this)) return;
    std::unique_ptr<Frame> done = std::move(frames_.back());
    frames_.pop_back();
    if (done->captures()) frames_.back()->value(*this, done->take());
}

void Builder::feed(const json &v)
{
    if (!v.is_structured()) return frames_.back()->value(*this, json(v));
    const std::size_t below = frames_.size();
    frames_.back()->open(*this, v.is_array());
    if (frames_.size() > below && frames_.back()->captures()) {
        frames_.pop_back();  // it is whole already
        return frames_.back()->value(*this, json(v));
    }
    for (auto it = v.begin(); it != v.end(); ++it) {
        if (v.is_object()) {
            std::string name = it.key();
            frames_.back()->key(*this, name);
        }
        feed(*it);
    }
    close_top();
}

bool Builder::parse_error(std::size_t, const std::string &token, const json::exception &e)
{
    // "[json.exception.parse_error.101] parse error at line 1, column 3: ...;
    // last read: '<token>'" or "[json.exception.out_of_range.406] number
    // overflow parsing '<token>'": the token as long as the text made it.
    std::string what = e.what();
    const std::size_t cut = what.find("] ");
    if (cut != std::string::npos) what.erase(0, cut + 2);
    const std::string quoted = "'" + token + "'";
    const std::size_t at = what.rfind(quoted);
    if (at != std::string::npos) what.replace(at, quoted.size(), "'" + clipped(token) + "'");
    syntax_ = "$: JSON " + what;
    return false;
}

bool Builder::verdict(std::string *error) const
{
    if (!syntax_.empty()) {
        *error = syntax_;
        return false;
    }
    if (refused_) {
        *error = refusal_;
        return false;
    }
    return true;
}

}  // namespace

bool read_json(const std::string &text, Set *set, std::string *error)
{
    set->clear();
    Builder builder(set);
    json::sax_parse(text, &builder);
    return builder.verdict(error);
}

}  // namespace inspect
}  // namespace kvs
