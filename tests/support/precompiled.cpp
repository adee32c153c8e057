// The one source of the target that compiles the headers every suite shares; the suites reuse
// what it compiled.
