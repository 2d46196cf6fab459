#pragma once
// Demo user files: realistic, and the same bytes for the same seed on every
// machine (own generator, no std:: distributions).

#include "userfile/record.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zorvtool {

// splitmix64: small, fast and fully specified.
class DemoRng {
  public:
    explicit DemoRng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next();
    std::uint32_t below(std::uint32_t n); // 0..n-1; n > 0
    bool chance(std::uint32_t percent) { return below(100) < percent; }

  private:
    std::uint64_t state_;
};

inline constexpr int kDefaultDemoUsers = 250;
inline constexpr std::uint64_t kDefaultDemoSeed = 1;

// n users: names and addresses with Nordic letters, every status, codes that
// have no list item, names filling all 30 bytes, zero call dates, non-zero
// reserved bytes and uninterpreted security/userflags bits. User i depends only
// on (i, seed), so a shorter file is a prefix of a longer one. About a quarter
// of the users have a resume; they are numbered 1, 2, 3... in user order.
std::vector<zorv::Record> makeDemoUsers(int n, std::uint64_t seed);
// User i alone, with no resume number yet; hasResume tells whether it gets one.
zorv::Record makeDemoUser(int index, std::uint64_t seed, bool& hasResume);

// The users that have a resume number, in user order.
std::vector<int> demoResumeHolders(const std::vector<zorv::Record>& users);

// Gives the resume holders the message numbers of a resume conference in turn;
// holders beyond the last number get 0 (no resume).
void assignDemoResumes(std::vector<zorv::Record>& users, const std::vector<int>& messageNumbers);

// Writes dir/zorvuser.dat (dir made when missing), replacing any file there.
// Returns the file's path. Throws zorv::IoError.
std::string writeDemoUserFile(const std::string& dir, const std::vector<zorv::Record>& users);
std::string writeDemoUserFile(const std::string& dir, int n = kDefaultDemoUsers,
                              std::uint64_t seed = kDefaultDemoSeed);

// The demo conference's size for this many resume holders (5 to 1000).
int demoConferenceSize(int holders);
// The numbers the holders get in turn: the conference's, with a few that it
// lacks slipped in so that a missing resume can be seen too.
std::vector<int> demoGivenNumbers(const std::vector<int>& conferenceNumbers);

// Makes the n users one by one and hands each to `put` in order, so memory
// stays flat for any n; the same users as making them all first.
// conferenceNumbers(count) is called once, before the first user is put, as
// soon as the users made so far decide the conference's size; it returns the
// conference's message numbers. Throws what the two callbacks throw.
void streamDemoUsers(int n, std::uint64_t seed,
                     const std::function<std::vector<int>(int count)>& conferenceNumbers,
                     const std::function<void(const zorv::Record&)>& put);

} // namespace zorvtool
