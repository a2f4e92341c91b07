(* no declaration here *)
(* 1 + 2; *)
