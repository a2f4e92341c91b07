(* Library lending system: catalogue, members, loans and fines.
   Coursework, part 2.  The tests at the end are written as the REPL
   session that was used to try things out. *)

signature CATALOGUE =
sig
  type isbn = string
  type book = {isbn : isbn, title : string, author : string, copies : int}
  exception NoSuchBook of isbn
  val empty : book list
  val add : book -> book list -> book list
  val find : isbn -> book list -> book
  val adjust : isbn * int -> book list -> book list
  val search : string -> book list -> book list
end

structure Catalogue :> CATALOGUE =
struct
  type isbn = string
  type book = {isbn : isbn, title : string, author : string, copies : int}
  exception NoSuchBook of isbn

  val empty = []

  fun add (b : book) books =
    case List.partition (fn (c : book) => #isbn c = #isbn b) books of
        ([c], rest) => {isbn = #isbn c, title = #title c, author = #author c,
                        copies = #copies c + #copies b} :: rest
      | (_, rest) => b :: rest

  fun find isbn books =
    case List.find (fn (b : book) => #isbn b = isbn) books of
        SOME b => b
      | NONE => raise NoSuchBook isbn

  fun adjust (isbn, delta) books =
    let
      val b = find isbn books
      val others = List.filter (fn (c : book) => #isbn c <> isbn) books
    in
      {isbn = isbn, title = #title b, author = #author b, copies = #copies b + delta} :: others
    end

  (* case-insensitive substring search over title and author *)
  fun search text books =
    let
      val lower = String.map Char.toLower
      val needle = lower text
      fun matches (b : book) =
        String.isSubstring needle (lower (#title b)) orelse
        String.isSubstring needle (lower (#author b))
    in
      List.filter matches books
    end
end

datatype membership = Student | Staff | Visitor

type member = {id : int, name : string, kind : membership}

fun loanLimit Student = 5
  | loanLimit Staff = 20
  | loanLimit Visitor = 1

fun loanDays Student = 21
  | loanDays Staff = 60
  | loanDays Visitor = 7

exception LimitReached of member
exception NotAvailable of string

structure Loans =
struct
  type loan = {member : int, isbn : Catalogue.isbn, due : int}

  val loans : loan list ref = ref []
  val books = ref Catalogue.empty

  fun activeFor (m : member) = List.filter (fn (l : loan) => #member l = #id m) (!loans)

  fun lend (m : member, isbn, today) =
    let
      val book = Catalogue.find isbn (!books)
    in
      if length (activeFor m) >= loanLimit (#kind m) then raise LimitReached m
      else if #copies book = 0 then raise NotAvailable (#title book)
      else
        (books := Catalogue.adjust (isbn, ~1) (!books);
         loans := {member = #id m, isbn = isbn, due = today + loanDays (#kind m)} :: !loans;
         today + loanDays (#kind m))
    end

  fun return (m : member, isbn, today) =
    let
      fun isThis (l : loan) = #member l = #id m andalso #isbn l = isbn
      val (mine, others) = List.partition isThis (!loans)
    in
      case mine of
          [] => 0
        | l :: rest =>
            (loans := rest @ others;
             books := Catalogue.adjust (isbn, 1) (!books);
             Int.max (0, today - #due l) * 10)   (* fine: 10 cents a day *)
    end
end

fun describe (exn : exn) =
  case exn of
      LimitReached m => #name m ^ " has reached the loan limit"
    | NotAvailable title => "no copy of " ^ title ^ " is available"
    | Catalogue.NoSuchBook isbn => "no book with ISBN " ^ isbn
    | _ => "unexpected: " ^ exnName exn

fun attempt f = (f (); "ok") handle e => describe e

(* ---- trying it out ---- *)

val () = Loans.books :=
  foldl (fn (b, bs) => Catalogue.add b bs) Catalogue.empty
    [{isbn = "111", title = "The End of the Affair", author = "Greene", copies = 1},
     {isbn = "222", title = "Let It Come Down", author = "Bowles", copies = 2},
     {isbn = "333", title = "Structure and Interpretation", author = "Abelson", copies = 1}];

val ann = {id = 1, name = "Ann", kind = Student} : member;
val vic = {id = 2, name = "Vic", kind = Visitor} : member;

Loans.lend (ann, "111", 0);
attempt (fn () => Loans.lend (vic, "111", 1));
attempt (fn () => Loans.lend (vic, "222", 1));
attempt (fn () => Loans.lend (vic, "333", 2));
attempt (fn () => Loans.lend (ann, "999", 2));
Loans.return (ann, "111", 30);
map #title (Catalogue.search "end" (!Loans.books));
length (!Loans.loans);
