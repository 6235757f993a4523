// What the tree file's tests share: trees made at random or by hand, their stored content
// compared field for field, readings captured with what they print.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "TestSupport.h"
#include "TreeNode.h"

std::vector<const TreeNode*> preorder(const TreeNode* root);
uint64_t bits(double d);
double fromBits(uint64_t u);
// Every stored field of every node, one line each, depth first.
std::string dump(const ClassificationTree& t);
void expectSameStoredContent(const ClassificationTree& a, const ClassificationTree& b);
std::string randomName(std::mt19937& rng, int minLength, int maxLength);
void randomTree(ClassificationTree& t, std::mt19937& rng, int count);
void smallTree(ClassificationTree& t);
void putI32(std::string& bytes, size_t at, int32_t v);
int lineCount(const std::string& s);

struct ReadOutcome {
    int result;
    std::string console, errors;
};
ReadOutcome readCapturing(ClassificationTree& t, const std::string& path);
// A tree that already holds a hierarchy: failed reads must leave it exactly so.
void loadedTree(ClassificationTree& t, const TempDir& dir);
// Expects `path` to be refused with one diagnostic naming it, and `t` untouched.
void expectRefused(ClassificationTree& t, const std::string& path, const char* why = nullptr);
// A chain of `depth` nodes below the root, each named "n" with rank "Genus".
void chain(ClassificationTree& t, int depth);
