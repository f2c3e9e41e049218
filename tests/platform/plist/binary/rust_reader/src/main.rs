// Reads the binary property list named by the first argument with the
// plist crate and writes it to standard output as XML; on a refusal,
// prints the crate's reason and exits 1.
fn main() {
    let path = std::env::args().nth(1).expect("usage: rust-plist-reader FILE");
    match plist::Value::from_file(&path) {
        Ok(value) => value.to_writer_xml(std::io::stdout()).expect("write"),
        Err(e) => {
            eprintln!("{}: {}", path, e);
            std::process::exit(1);
        }
    }
}
