define i32 @tesk_test_answer() {
  ret i32 42
}
