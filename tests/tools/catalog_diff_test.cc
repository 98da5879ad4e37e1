#include <gtest/gtest.h>

#include "support/run_command.h"
#include "support/temp_dir.h"
#include "tools/catalog_support.h"

namespace corvane::testing {
namespace {

namespace fs = std::filesystem;

std::string bytes(std::size_t size, std::uint32_t seed) {
  const auto pattern = patternBytes(size, seed);
  return {pattern.begin(), pattern.end()};
}

// A and B: B has a file moved, one duplicated, one corrupted between the fingerprint's samples
// (the same size, one byte), one added; A has one that B lacks.
struct Trees {
  TempDir dir;
  std::string a, b, big;
  Trees() {
    big = bytes(300'000, 5);
    std::string corrupted = big;
    corrupted[120'000] ^= 1;  // between the samples at 76800 + 16384 and 153600
    for (const char* side : {"a", "b"}) {
      dir.write(std::string(side) + "/keep", bytes(5'000, 1));
      dir.write(std::string(side) + "/dup", bytes(3'000, 3));
    }
    dir.write("a/moveme", bytes(8'000, 2));
    dir.write("a/big", big);
    dir.write("a/onlyA", bytes(1'000, 4));
    dir.write("b/moved/here", bytes(8'000, 2));
    dir.write("b/dup-copy", bytes(3'000, 3));
    dir.write("b/big", corrupted);
    dir.write("b/added", bytes(2'000, 6));
    a = (dir.path() / "a").string();
    b = (dir.path() / "b").string();
  }
};

TEST(CatalogDiff, MovedDuplicatedCorruptedAndAddedFilesEachSaySo) {
  Trees trees;
  const auto catalogA = (trees.dir.path() / "a.catalog").string(), catalogB = (trees.dir.path() / "b.catalog").string();
  const auto hashedA = (trees.dir.path() / "a-hashed.catalog").string(),
             hashedB = (trees.dir.path() / "b-hashed.catalog").string();
  for (const auto& [catalog, tree, hash] : {std::tuple{catalogA, trees.a, false}, std::tuple{catalogB, trees.b, false},
                                            std::tuple{hashedA, trees.a, true}, std::tuple{hashedB, trees.b, true}}) {
    std::vector<std::string> arguments{"-q", "catalog", "scan", catalog, tree};
    if (hash) arguments.push_back("--hash");
    ASSERT_EQ(runCorvane(arguments).status, 0);
  }
  const std::string withSha256 =
      "changed: big\n"
      "moved: moveme -> moved/here\n"
      "only in A: onlyA\n"
      "only in B: added\n"
      "held 2 times in B: dup = dup-copy\n"
      "2 same, 1 changed, 1 moved, 1 only in A, 1 only in B, 0 held more than once in A, 1 in B\n";
  // Fingerprints alone cannot see the corrupted byte, and the output says what it rests on.
  const std::string fingerprintsOnly =
      "moved: moveme -> moved/here (fingerprint only)\n"
      "only in A: onlyA\n"
      "only in B: added\n"
      "held 2 times in B: dup = dup-copy (fingerprint only)\n"
      "3 same (3 by fingerprint only), 0 changed, 1 moved (1 by fingerprint only), 1 only in A, 1 only in B, "
      "0 held more than once in A, 1 in B\n";
  struct Case {
    std::vector<std::string> arguments;
    std::string out;
  };
  const std::vector<Case> cases = {
      {{hashedA, hashedB}, withSha256},
      {{catalogA, catalogB}, fingerprintsOnly},
      {{"--hash", trees.a, trees.b}, withSha256},  // folders, scanned for the diff
      {{hashedA, trees.b, "--hash"}, withSha256},  // a catalog against a folder
      {{hashedA, catalogB}, fingerprintsOnly},     // SHA-256 on one side only confirms nothing
  };
  for (const auto& c : cases) {
    std::vector<std::string> arguments{"-q", "catalog", "diff"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    const auto run = runCorvane(arguments);
    EXPECT_EQ(run.status, 1) << c.arguments[0] << run.err;
    EXPECT_EQ(run.out, c.out) << c.arguments[0] << " " << c.arguments[1];
  }
  const auto same = runCorvane({"-q", "catalog", "diff", hashedA, trees.a});
  EXPECT_EQ(same.status, 0) << same.out;
}

TEST(CatalogDiff, MissingListsWhatBLacksAsDigestLinesThatCheck) {
  Trees trees;
  const auto catalogA = (trees.dir.path() / "a.catalog").string();
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", "--hash", catalogA, trees.a}).status, 0);
  const auto run = runCorvane({"-q", "catalog", "diff", "--missing", "--hash", catalogA, trees.b});
  EXPECT_EQ(run.status, 1);
  const std::string onlyA = readBytes(trees.dir.path() / "a/onlyA");
  EXPECT_EQ(run.out, referenceSha256({trees.big.begin(), trees.big.end()}) + "  " + trees.a + "/big\n" +
                         referenceSha256({onlyA.begin(), onlyA.end()}) + "  " + trees.a + "/onlyA\n");
  const auto list = trees.dir.write("to-send.sha256", run.out);
  EXPECT_EQ(std::system(("sha256sum --quiet -c '" + list + "'").c_str()), 0);

  // Without SHA-256 on A the lines carry fingerprints, which corvane checks.
  const auto fingerprints = runCorvane({"-q", "catalog", "diff", "--missing", trees.a, trees.b});
  EXPECT_EQ(lines(fingerprints.out).size(), 1u) << fingerprints.out;  // the corrupted file looks the same
  EXPECT_EQ(fingerprints.out, referenceFingerprint(readBytes(trees.dir.path() / "a/onlyA")) + "  " + trees.a + "/onlyA\n");
  const auto fingerprintList = trees.dir.write("to-send.fp", fingerprints.out);
  EXPECT_EQ(runCorvane({"-q", "fingerprint", "-c", fingerprintList}).status, 0);
}

TEST(CatalogDiff, MergedCatalogsKeepEachFolderFromItsLatestScan) {
  Trees trees;
  const auto catalogA = (trees.dir.path() / "a.catalog").string(), catalogB = (trees.dir.path() / "b.catalog").string();
  const auto merged = (trees.dir.path() / "merged.catalog").string();
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalogA, trees.a}).status, 0);
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalogB, trees.b}).status, 0);
  const auto run = runCorvane({"-q", "catalog", "merge", merged, catalogA, catalogB});
  ASSERT_EQ(run.status, 0) << run.err;
  // Both folders, each named where it lies.
  const auto both = runCorvane({"catalog", "export", "--fingerprint", merged});
  EXPECT_EQ(both.out, runCorvane({"-q", "fingerprint", "-r", trees.a, trees.b}).out);
  // A newer scan of A wins over the merged copy; the merged copy does not win over it.
  trees.dir.write("a/later", "later");
  ASSERT_EQ(runCorvane({"-q", "catalog", "scan", catalogA}).status, 0);
  EXPECT_EQ(runCorvane({"-q", "catalog", "merge", merged, catalogA}).out, catalogA + ": 1 taken in, 0 kept (scanned as late or later here)\n");
  EXPECT_EQ(runCorvane({"-q", "catalog", "merge", catalogA, merged}).out, merged + ": 1 taken in, 1 kept (scanned as late or later here)\n");
  EXPECT_EQ(runCorvane({"catalog", "export", "--fingerprint", merged}).out,
            runCorvane({"-q", "fingerprint", "-r", trees.a, trees.b}).out);
}

}  // namespace
}  // namespace corvane::testing
