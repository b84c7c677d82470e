// The voice's speed: how soon the first samples of a spoken subject reach the output side, and
// how many seconds of speech the voice makes per second of work for a reading of 20 mails.
// Goals: first samples within 150 ms of the request; real-time factor above 20.
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "checker/announce/voice/SpeechEngine.h"
#include "checker/announce/voice/SpeechQueue.h"

using namespace velkora;
using Clock = std::chrono::steady_clock;

namespace {

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Notes when the first samples of each text arrive and when each text is done.
class TimingReceiver final : public PcmReceiver {
public:
    void utteranceStarted(uint64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        sawSamples_ = false;
    }
    void pcm(const int16_t*, std::size_t count) override {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!sawSamples_) {
            sawSamples_ = true;
            firstSample_ = Clock::now();
        }
        samples_ += count;
    }
    void utteranceFinished(uint64_t) override {
        std::lock_guard<std::mutex> lock(mutex_);
        ++finished_;
        done_.notify_all();
    }
    // Sleeps until `count` texts in all are finished.
    void waitFinished(std::size_t count) {
        std::unique_lock<std::mutex> lock(mutex_);
        done_.wait(lock, [&] { return finished_ >= count; });
    }
    Clock::time_point firstSample() {
        std::lock_guard<std::mutex> lock(mutex_);
        return firstSample_;
    }
    std::size_t samples() {
        std::lock_guard<std::mutex> lock(mutex_);
        return samples_;
    }

private:
    std::mutex mutex_;
    std::condition_variable done_;
    bool sawSamples_ = false;
    Clock::time_point firstSample_;
    std::size_t samples_ = 0;
    std::size_t finished_ = 0;
};

struct Mail {
    const char* sender;
    const char* subject;
    const char* body;
};

// Twenty mails of the kind the checker reads: Japanese names and subjects, some English,
// addresses, dates and numbers.
const std::vector<Mail> kMails = {
    {"佐藤 太郎", "会議のお知らせ", "来週の定例会議は3月12日の午後2時から第2会議室で行います。"},
    {"鈴木 花子 <hanako@example.jp>", "Re: 見積もりの件",
     "お世話になっております。見積書を添付いたしましたのでご確認ください。"},
    {"Sales Team", "Spring campaign 2024", "Dear customer, our spring campaign starts today."},
    {"高橋 一郎", "【重要】パスワード変更のお願い",
     "セキュリティ強化のため、今月末までにパスワードを変更してください。"},
    {"田中", "明日の打ち合わせ", "明日は10時に東京駅の改札前で待ち合わせましょう。"},
    {"伊藤 美咲", "写真を送ります", "先日の旅行の写真です。楽しかったですね。"},
    {"渡辺部長", "出張報告書の提出について", "大阪出張の報告書を金曜日までに提出してください。"},
    {"山本 健 <ken.yamamoto@example.co.jp>", "Fw: 新製品の資料",
     "新製品の資料を転送します。ご参考まで。"},
    {"中村", "お疲れさまでした", "プロジェクト完了おめでとうございます。打ち上げは来週です。"},
    {"小林 由美", "誕生日おめでとう", "お誕生日おめでとうございます。素敵な一年になりますように。"},
    {"加藤", "ご注文ありがとうございます",
     "ご注文の商品は3日以内に発送いたします。注文番号は12345です。"},
    {"吉田 直樹", "勉強会の資料", "勉強会で使うスライドを共有フォルダに置きました。"},
    {"newsletter@example.com", "Weekly news: updates and tips",
     "This week we look at new features and upcoming events."},
    {"山田 花子", "引っ越しのご挨拶",
     "このたび下記の住所に引っ越しました。お近くにお越しの際はお立ち寄りください。"},
    {"佐々木", "請求書送付のご案内", "今月分の請求書をお送りします。お支払い期限は月末です。"},
    {"山口 翔太", "飲み会の出欠確認", "金曜日の飲み会の出欠を水曜日までに教えてください。"},
    {"松本", "システムメンテナンスのお知らせ", "日曜日の午前2時から5時までシステムを停止します。"},
    {"井上 さくら", "図書館の本", "借りていた本を返却しました。ありがとうございました。"},
    {"木村 課長", "来期の予算について",
     "来期の予算案を作成しましたので、ご意見をお聞かせください。"},
    {"林", "天気が心配です", "週末は雨の予報なので、イベントは室内で行う予定です。"},
};

std::vector<std::string> readingTexts() {
    std::vector<std::string> texts;
    for (const Mail& mail : kMails) {
        texts.push_back(std::string("差出人 ") + mail.sender + " \\Spd=100\\");
        texts.push_back(std::string("件名 ") + mail.subject + " \\Spd=100\\");
        texts.push_back(std::string(mail.body) + " \\Spd=100\\");
    }
    return texts;
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const auto index = static_cast<std::size_t>(p * static_cast<double>(values.size() - 1) + 0.5);
    return values[index];
}

}  // namespace

int main() {
    const Clock::time_point setup = Clock::now();
    int sampleRate = 0;
    {
        SpeechEngine::Lease engine = SpeechEngine::acquire();
        if (!engine->available()) {
            std::printf("espeak-ng is not available\n");
            return 1;
        }
        sampleRate = engine->sampleRate();
        std::printf("engine set up once (espeak-ng, MeCab): %.1f ms, dictionary %s\n",
                    msSince(setup), engine->hasReadings() ? "found" : "MISSING");
    }

    // Time to first samples, through the queue the character's Speak uses.
    TimingReceiver receiver;
    std::vector<double> firstSampleMs;
    {
        SpeechQueue queue(receiver);
        queue.enqueue("件名 準備 \\Spd=100\\");  // the queue's thread and voices warm up
        receiver.waitFinished(1);
        std::size_t finished = 1;
        for (int round = 0; round < 3; ++round) {
            for (const Mail& mail : kMails) {
                const std::string text = std::string("件名 ") + mail.subject + " \\Spd=100\\";
                const Clock::time_point spoken = Clock::now();
                queue.enqueue(text);
                receiver.waitFinished(++finished);
                firstSampleMs.push_back(
                    std::chrono::duration<double, std::milli>(receiver.firstSample() - spoken)
                        .count());
            }
        }
    }
    std::printf(
        "speak of a subject line to first samples (%zu texts): median %.2f ms, "
        "p95 %.2f ms, max %.2f ms (goal: within 150 ms)\n",
        firstSampleMs.size(), percentile(firstSampleMs, 0.5), percentile(firstSampleMs, 0.95),
        percentile(firstSampleMs, 1.0));

    // Real-time factor of a whole reading of 20 mails.
    const std::vector<std::string> texts = readingTexts();
    double bestFactor = 0;
    double audioSeconds = 0;
    double workSeconds = 0;
    for (int round = 0; round < 3; ++round) {
        std::size_t samples = 0;
        const Clock::time_point start = Clock::now();
        {
            SpeechEngine::Lease engine = SpeechEngine::acquire();
            for (const std::string& text : texts) {
                engine->synthesize(text, kDefaultSpeechRate,
                                   [&samples](const int16_t*, std::size_t count) {
                                       samples += count;
                                       return true;
                                   });
            }
        }
        const double work = msSince(start) / 1000.0;
        const double audio = static_cast<double>(samples) / sampleRate;
        if (audio / work > bestFactor) {
            bestFactor = audio / work;
            audioSeconds = audio;
            workSeconds = work;
        }
    }
    std::printf(
        "reading of 20 mails (%zu texts): %.1f s of speech made in %.3f s, real-time "
        "factor %.0f (goal: above 20)\n",
        texts.size(), audioSeconds, workSeconds, bestFactor);

    // The same reading through the queue, as the character speaks it.
    {
        TimingReceiver queued;
        SpeechQueue queue(queued);
        const Clock::time_point start = Clock::now();
        for (const std::string& text : texts) {
            queue.enqueue(text);
        }
        queued.waitFinished(texts.size());
        const double work = msSince(start) / 1000.0;
        const double audio = static_cast<double>(queued.samples()) / sampleRate;
        std::printf("the same reading queued: %.1f s of speech in %.3f s, real-time factor %.0f\n",
                    audio, work, audio / work);
    }
    return 0;
}
