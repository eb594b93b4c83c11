package com.orlena.tessel.brevant;

import static org.junit.Assert.assertEquals;
import static org.junit.Assert.assertTrue;

import java.io.IOException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.Comparator;
import java.util.stream.Stream;
import org.junit.After;
import org.junit.Test;

/**
 * The connector finds the engine's methods by name and JNI descriptor and the natives by
 * name and Java types, so a drift in either only shows on a real IIS; these tests pin them.
 */
public class EngineContractTest {
    private final Path dir;

    public EngineContractTest() throws IOException {
        dir = Files.createTempDirectory("brevant-contract");
    }

    @After
    public void removeDirectory() throws IOException {
        Brevant.loadDataFiles(null);
        try (Stream<Path> all = Files.walk(dir)) {
            all.sorted(Comparator.reverseOrder()).forEach(p -> p.toFile().delete());
        }
    }

    private static String descriptor(Class<?> type) {
        if (type.isArray()) return "[" + descriptor(type.getComponentType());
        if (type == void.class) return "V";
        if (type == boolean.class) return "Z";
        if (type == byte.class) return "B";
        if (type == int.class) return "I";
        return "L" + type.getName().replace('.', '/') + ";";
    }

    /** Each {name, descriptor} is the one method of that name, with the modifiers asked. */
    private static void assertMethods(Class<?> type, int modifiers, String[][] expected) {
        int count = 0;
        for (Method m : type.getDeclaredMethods()) {
            if ((m.getModifiers() & modifiers) != modifiers) {
                continue;
            }
            StringBuilder d = new StringBuilder("(");
            for (Class<?> p : m.getParameterTypes()) {
                d.append(descriptor(p));
            }
            String found = d.append(')').append(descriptor(m.getReturnType())).toString();
            for (String[] e : expected) {
                if (e[0].equals(m.getName())) {
                    assertEquals(e[0], e[1], found);
                    count++;
                }
            }
        }
        assertEquals("methods found", expected.length, count);
    }

    @Test
    public void engineMethodsHaveTheConnectorsDescriptors() {
        String s = "Ljava/lang/String;";
        assertMethods(Brevant.class, Modifier.PUBLIC | Modifier.STATIC, new String[][] {
            {"Init", "(" + s + "I" + s + "I" + s + s + s + ")B"},
            {"getInitMsg", "()" + s}, {"setServerInfo", "(" + s + ")V"},
            {"ProcessRequest", "(" + s + "[B" + s + s + s + "II" + s + "Z" + s + s + ")[B"},
            {"isServletAlias", "(" + s + s + ")Z"}, {"authIISRequest", "(" + s + s + s + s + ")Z"},
            {"Shutdown", "()V"}});
    }

    @Test
    public void nativesHaveTheConnectorsTypes() {
        assertMethods(ISAPINativeLib.class, Modifier.NATIVE, new String[][] {
            {"writeHeaders", "(I[B[B)Z"}, {"writeClient", "(I[BIZ)B"}, {"readClient", "(II)[B"},
            {"bytesAvailable", "(I)I"}, {"outputDebugString", "([B)V"},
            {"getRealPath", "(ILjava/lang/String;)Ljava/lang/String;"},
            {"enableIISSecurity", "()V"}, {"disableIISSecurity", "()V"},
            {"getClientCertificate", "(I)Ljava/lang/String;"}});
    }

    private void assertInitFails(byte code, String servlets, String library, String... said) {
        assertEquals(code, Brevant.Init("Microsoft IIS", 0, "", 0, dir.toString(), servlets, library));
        for (String words : said) {
            assertTrue(Brevant.getInitMsg(), Brevant.getInitMsg().contains(words));
        }
    }

    @Test
    public void initFailsWithoutServletsDirectory() {
        String missing = dir.resolve("no-such-servlets").toString();
        assertInitFails(Brevant.INIT_NO_SERVLETS_DIRECTORY, missing, "/nowhere/libx.so", "servlets directory", missing);
    }

    @Test
    public void initFailsWhenLibraryCannotBeLoaded() throws IOException {
        String servlets = Files.createDirectory(dir.resolve("servlets")).toString();
        String missing = dir.resolve("missing-connector.so").toString();
        String garbage = Files.write(dir.resolve("garbage.so"), new byte[] {1, 2, 3}).toString();
        assertInitFails(Brevant.INIT_LIBRARY_NOT_LOADED, servlets, missing, "connector library", missing);
        for (String library : new String[] {garbage, "relative/lib.so", null}) {
            assertInitFails(Brevant.INIT_LIBRARY_NOT_LOADED, servlets, library, "connector library");
        }
    }

    private void load(String name, String text) throws IOException {
        Files.write(dir.resolve(name), text.getBytes(StandardCharsets.UTF_8));
        Brevant.loadDataFiles(dir);
    }

    @Test
    public void aliasesComeFromTheAliasFile() throws IOException {
        Brevant.loadDataFiles(dir);
        assertEquals(true, Brevant.isServletAlias("/servlet/Hello?x=1", null));
        assertEquals(false, Brevant.isServletAlias("/app/page", null));
        load("aliases.txt", "# engine URLs\n/app/\n\n.jsp\n");
        Object[][] cases = {{"/app/page", true}, {"/shop/index.jsp?item=3", true},
                            {"/shop/index.jsp.html", false}, {"/apple/x", false},
                            {"/index.html?q=.jsp", false}, {null, false}};
        for (Object[] c : cases) {
            assertEquals((String) c[0], c[1], Brevant.isServletAlias((String) c[0], "example.com"));
        }
    }

    @Test
    public void accessComesFromTheRulesFile() throws IOException {
        Brevant.loadDataFiles(dir);
        assertEquals(true, Brevant.authIISRequest("/servlet/Hello", null, null, null));
        load("access.txt", "# prefix user\n/servlet/Admin alice\n/servlet/Admin Bob\n/private/ *\n");
        Object[][] cases = {{"/servlet/Admin", "alice", true}, {"/servlet/Admin?x", "BOB", true},
                            {"/servlet/Admin", "carol", false}, {"/servlet/Admin", null, false},
                            {"/private/doc", "carol", true}, {"/private/doc", null, false},
                            {"/servlet/Hello", null, true}};
        for (Object[] c : cases) {
            assertEquals(c[0] + " " + c[1], c[2], Brevant.authIISRequest((String) c[0], "h", (String) c[1], "pw"));
        }
    }
}
