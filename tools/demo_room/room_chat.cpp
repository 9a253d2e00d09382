#include "demo_room/room_chat.h"

#include <array>
#include <ctime>
#include <string_view>

namespace tavolen::demo {
namespace {

using namespace std::chrono_literals;

constexpr std::array<std::string_view, 48> nicknames = {
    "夜猫子小王",   "芒果布丁", "路过的咸鱼", "南城以南",   "一只胖橘",   "奶茶三分糖",
    "今天也要加油", "柠檬不酸", "老张看直播", "星河滚烫",   "吃瓜群众甲", "风吹裤裆凉",
    "小鹿乱撞",     "不吃香菜", "深夜食堂",   "摸鱼达人",   "键盘侠本侠", "山海不可平",
    "阿杰Jay",      "momo酱",   "追风少年",   "退堂鼓选手", "云朵棉花糖", "隔壁老李",
    "土豆炖牛腩",   "晚风拂柳", "九月的雨",   "打工人阿强", "快乐肥宅水", "北岛以北",
    "猫猫头",       "熬夜冠军", "人间清醒",   "小橘子",     "大白兔奶糖", "鹅鹅鹅",
    "二狗子",       "桃桃乌龙", "江湖路远",   "一杯清茶",   "西瓜太郎",   "慢半拍",
    "Lucky星",      "旺仔牛奶", "半糖主义",   "东北大碴子", "月亮不睡",   "喵了个咪",
};

constexpr std::array<std::string_view, 56> lines = {
    "666",
    "666666",
    "哈哈哈哈哈",
    "哈哈哈",
    "主播好！",
    "来了来了",
    "前排占座",
    "主播今天播到几点？",
    "这波操作可以啊",
    "太秀了",
    "刚来，错过了什么？",
    "主播声音好好听",
    "求背景音乐名字",
    "下播了记得喝水",
    "这个我熟，上周刚通关",
    "主播能不能再来一次",
    "笑死我了",
    "弹幕护体",
    "晚上好各位",
    "关注了，以后常来",
    "礼物走一波",
    "主播是哪里人啊",
    "这画质绝了",
    "卡了吗？我这边有点卡",
    "不卡，是你网的问题",
    "稳住，我们能赢",
    "又菜又爱玩说的就是我",
    "打卡第38天",
    "这个装备怎么搭配？",
    "先出鞋再出攻速",
    "好家伙",
    "学到了学到了",
    "主播今天状态不错",
    "下一把带我一个",
    "哈哈哈哈笑出鹅叫",
    "有没有一起开黑的",
    "上班摸鱼看直播",
    "刚下班，来晚了",
    "主播加油！",
    "这也太难了吧",
    "我赌五毛主播能过",
    "过了过了！",
    "啊这",
    "离谱",
    "妙啊",
    "我愿称之为最强",
    "这就是实力",
    "主播吃饭了吗",
    "明天还播吗？",
    "晚安各位，明天见",
    "有人知道这是第几关吗",
    "第七关，最后一个boss",
    "弹幕好多人啊",
    "欢迎新来的朋友",
    "这操作我能看一天",
    "冲冲冲",
};

constexpr std::array<std::string_view, 8> cheers = {"666",        "哈哈哈", "+1",   "确实",
                                                    "哈哈哈哈哈", "真的",   "6666", "好耶"};

constexpr std::array<std::string_view, 6> emoji = {"😂", "👍", "🎉", "❤️", "🔥", "😭"};

constexpr std::array<std::string_view, 3> admin_nicknames = {"房管小助手", "超管-木木", "房管阿飞"};

constexpr std::array<std::string_view, 8> admin_lines = {
    "欢迎来到直播间，请文明发言", "禁止刷屏，违者禁言十分钟", "本直播间禁止发布广告和外链",
    "关注主播不迷路，开播有提醒", "请勿讨论与直播无关的话题", "今晚九点有抽奖活动，记得来",
    "新来的朋友点个关注吧",       "理性讨论，友善互动",
};

std::string timeline_of(RoomChat::Clock::time_point when) {
    const std::time_t seconds = RoomChat::Clock::to_time_t(when);
    std::tm local{};
    localtime_r(&seconds, &local);
    char buffer[16];
    std::strftime(buffer, sizeof buffer, "%H:%M:%S", &local);
    return buffer;
}

void append_json_string(std::string& out, const std::string& text) {
    out += '"';
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (byte < 0x20) {
            static constexpr char hex[] = "0123456789abcdef";
            out += "\\u00";
            out += hex[byte >> 4];
            out += hex[byte & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

void append_messages(std::string& out, const std::deque<ChatMessage>& messages, std::size_t last) {
    out += '[';
    const std::size_t first = messages.size() > last ? messages.size() - last : 0;
    for (std::size_t i = first; i < messages.size(); ++i) {
        const ChatMessage& m = messages[i];
        if (i != first) out += ',';
        out += "{\"uid\":";
        out += std::to_string(m.uid);
        out += ",\"nickname\":";
        append_json_string(out, m.nickname);
        out += ",\"text\":";
        append_json_string(out, m.text);
        out += ",\"timeline\":";
        append_json_string(out, m.timeline);
        out += ",\"level\":";
        out += std::to_string(m.uid % 40 + 1);
        out += '}';
    }
    out += ']';
}

}  // namespace

RoomChat::RoomChat(std::uint64_t seed, Clock::time_point now) : random_(seed) {
    std::uniform_int_distribution<std::int64_t> uid(10'000'000, 399'999'999);
    for (const auto name : nicknames) viewers_.push_back({uid(random_), std::string(name)});
    for (const auto name : admin_nicknames) admins_.push_back({uid(random_), std::string(name)});

    // A room that is already busy when the client arrives: a few minutes of chat behind it.
    Clock::time_point when = now - 3min;
    admin_says(when);
    while (true) {
        when += next_gap();
        if (when > now) break;
        say(when);
    }
    next_message_ = when;
    next_admin_ = now + 10s;
}

RoomChat::Clock::duration RoomChat::next_gap() {
    // Mostly about a second apart; one time in six a burst of messages within the same second.
    if (std::uniform_int_distribution<int>(0, 5)(random_) == 0) {
        return std::chrono::milliseconds(std::uniform_int_distribution<int>(20, 200)(random_));
    }
    return std::chrono::milliseconds(std::uniform_int_distribution<int>(400, 1800)(random_));
}

void RoomChat::say(Clock::time_point when) {
    const Viewer& who =
        viewers_[std::uniform_int_distribution<std::size_t>(0, viewers_.size() - 1)(random_)];
    ChatMessage message{who.uid, who.nickname, {}, timeline_of(when)};

    const int roll = std::uniform_int_distribution<int>(0, 99)(random_);
    if (roll < 20) {
        // Joining in: short lines get repeated word for word, longer ones get a cheer instead.
        const std::size_t back = std::uniform_int_distribution<std::size_t>(
            1, std::max<std::size_t>(1, std::min<std::size_t>(room_.size(), 4)))(random_);
        if (room_.size() >= back && room_[room_.size() - back].text.size() <= 15) {
            message.text = room_[room_.size() - back].text;
        } else {
            message.text =
                cheers[std::uniform_int_distribution<std::size_t>(0, cheers.size() - 1)(random_)];
        }
    } else {
        message.text =
            lines[std::uniform_int_distribution<std::size_t>(0, lines.size() - 1)(random_)];
        if (roll >= 90) {
            message.text +=
                emoji[std::uniform_int_distribution<std::size_t>(0, emoji.size() - 1)(random_)];
        }
    }
    room_.push_back(std::move(message));
    while (room_.size() > room_window) room_.pop_front();
}

void RoomChat::admin_says(Clock::time_point when) {
    const Viewer& who =
        admins_[std::uniform_int_distribution<std::size_t>(0, admins_.size() - 1)(random_)];
    const auto line =
        admin_lines[std::uniform_int_distribution<std::size_t>(0, admin_lines.size() - 1)(random_)];
    admin_.push_back({who.uid, who.nickname, std::string(line), timeline_of(when)});
    while (admin_.size() > admin_window) admin_.pop_front();
}

void RoomChat::advance_to(Clock::time_point now) {
    // A client that stayed away for long must not make us replay hours of chat.
    if (now - next_message_ > 1min) next_message_ = now - 1min;
    while (next_message_ <= now) {
        say(next_message_);
        next_message_ += next_gap();
    }
    if (next_admin_ <= now) {
        admin_says(now);
        next_admin_ =
            now + std::chrono::seconds(std::uniform_int_distribution<int>(15, 30)(random_));
    }
}

std::string RoomChat::reply_json() const {
    std::string out = "{\"code\":0,\"msg\":\"ok\",\"data\":{\"room\":";
    append_messages(out, room_, room_window);
    out += ",\"admin\":";
    append_messages(out, admin_, admin_window);
    out += "}}";
    return out;
}

std::string error_reply_json(int code, const std::string& message) {
    std::string out = "{\"code\":" + std::to_string(code) + ",\"msg\":";
    append_json_string(out, message);
    out += ",\"data\":{}}";
    return out;
}

std::string percent_encode(const std::string& text) {
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        const bool unreserved = (byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') ||
                                (byte >= '0' && byte <= '9') || c == '-' || c == '_' || c == '.' ||
                                c == '~';
        if (unreserved) {
            out += c;
        } else {
            out += '%';
            out += hex[byte >> 4];
            out += hex[byte & 15];
        }
    }
    return out;
}

std::string room_number_of(const std::string& body) {
    // The body is one form field; take the value of roomid wherever it stands.
    std::size_t start = 0;
    while (start <= body.size()) {
        std::size_t end = body.find('&', start);
        if (end == std::string::npos) end = body.size();
        const std::string_view field(body.data() + start, end - start);
        if (field.starts_with("roomid=")) {
            const std::string_view value = field.substr(7);
            if (value.empty() || value.size() > 13) return {};
            for (const char c : value) {
                if (c < '0' || c > '9') return {};
            }
            return std::string(value);
        }
        start = end + 1;
    }
    return {};
}

}  // namespace tavolen::demo
