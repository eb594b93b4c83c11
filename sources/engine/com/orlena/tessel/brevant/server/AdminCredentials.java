package com.orlena.tessel.brevant.server;

import java.nio.charset.StandardCharsets;
import java.security.MessageDigest;

/** The user and password the admin port accepts; absent ones count as empty. */
final class AdminCredentials {
    private final byte[] user;
    private final byte[] password;

    AdminCredentials(String user, String password) {
        this.user = bytes(user);
        this.password = bytes(password);
    }

    /** Compares in constant time so the answer's delay does not reveal how much of a guess was right. */
    boolean match(String givenUser, String givenPassword) {
        boolean userOk = MessageDigest.isEqual(user, bytes(givenUser));
        boolean passwordOk = MessageDigest.isEqual(password, bytes(givenPassword));
        return userOk & passwordOk;
    }

    private static byte[] bytes(String s) {
        return (s == null ? "" : s).getBytes(StandardCharsets.UTF_8);
    }
}
